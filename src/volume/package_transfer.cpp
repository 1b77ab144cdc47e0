/* volume/package_transfer.cpp: copying update.udx and update.udi to the device root, each
 * verified on the medium before it replaces the old file. */
#include "volume/package_transfer.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "platform/platform.h"
#include "run/run_state.h"
#include "run/text.h"
#include "volume/device_volume.h"

namespace {

// Whole sectors, so that reads past the system's cache can take them; large enough that a
// call per chunk costs nothing beside the medium's own time.
constexpr std::uint32_t kChunkSize = 256 * 1024;
static_assert(kChunkSize % kMediumAlignment == 0);

// The name that a file has on the device until it has been verified there.
constexpr char kTemporarySuffix[] = ".partial";

// The program directory's chunk in hand and, while comparing, the medium's chunk beside it.
alignas(kMediumAlignment) unsigned char programChunk[kChunkSize];
alignas(kMediumAlignment) unsigned char mediumChunk[kChunkSize];

// The bytes of both files, each written and read back, and how many of them are done.
std::uint64_t progressTotal = 0;
std::uint64_t progressDone = 0;

void Advance(std::uint32_t bytes, const char* fileName) {
    progressDone += bytes;
    AdvanceProgress(progressDone, progressTotal, fileName);
}

std::uint64_t SizeInProgramDirectory(const char* fileName) {
    char path[kPathSize];
    return ComposePath(path, State.ProgramDirectory, fileName) ? SizeOfFile(path) : 0;
}

// Whether the volume has less room than `bytes` would take: a write that failed then did so
// for want of room, whatever the file system's error (fusefat's is EPERM).
bool NoRoomLeftFor(std::uint64_t bytes) {
    std::uint64_t freeBytes = 0;
    std::uint32_t cluster = 0;
    return ReadFreeSpace(State.DeviceRoot, &freeBytes, &cluster) && freeBytes < bytes;
}

// Copies `source` into a new file at `temporary`, flushed to the medium. The file must
// deliver the `size` bytes that it had when the copy began: one that ends early (cut short
// meanwhile, or on a medium that fails quietly) is never taken for the whole package.
// `*full` tells whether the step that failed, if any, found no room on the volume.
bool WriteTemporaryCopy(const char* source, const char* temporary, const char* fileName,
                        std::uint64_t size, bool* full) {
    *full = false;
    OsHandle input = OpenFileForReading(source);
    if (input == nullptr) {
        return false;
    }
    OsHandle output = CreateNewFile(temporary);
    bool written = output != nullptr;
    *full = !written && LastFailureWasFull();
    std::uint64_t copied = 0;
    for (std::uint32_t count = kChunkSize; written && count == kChunkSize;) {
        const bool read = ReadChunk(input, programChunk, kChunkSize, &count);
        written = read && (count == 0 || WriteWholly(output, programChunk, count));
        const std::uint64_t left = copied < size ? size - copied : 0;
        *full = read && !written && (LastFailureWasFull() || NoRoomLeftFor(left));
        copied += written ? count : 0;
        Advance(written ? count : 0, fileName);
    }
    CloseOsHandle(input);
    if (output == nullptr) {
        return false;
    }
    if (!written || copied != size) {
        CloseOsHandle(output);
        return false;
    }
    const bool flushed = FlushAndClose(output);
    *full = !flushed && LastFailureWasFull();
    return flushed;
}

// Whether the medium holds at `temporary` exactly the bytes of `source`, read afresh.
bool MediumHoldsCopyOf(const char* source, const char* temporary, const char* fileName) {
    OsHandle original = OpenFileForReading(source);
    if (original == nullptr) {
        return false;
    }
    OsHandle copy = OpenFileOnMedium(temporary);
    bool same = copy != nullptr;
    for (std::uint32_t expected = kChunkSize; same && expected == kChunkSize;) {
        std::uint32_t found = 0;
        same = ReadChunk(original, programChunk, kChunkSize, &expected) &&
               ReadChunk(copy, mediumChunk, kChunkSize, &found) && found == expected &&
               std::memcmp(programChunk, mediumChunk, expected) == 0;
        Advance(same ? found : 0, fileName);
    }
    CloseOsHandle(original);
    if (copy != nullptr) {
        CloseOsHandle(copy);
    }
    return same;
}

// The room that `bytes` take on a volume of `cluster`-byte clusters.
std::uint64_t InClusters(std::uint64_t bytes, std::uint32_t cluster) {
    return (bytes + cluster - 1) / cluster * cluster;
}

// Whether the volume would have room for a file of `size` bytes once the old file at
// `destination` is gone, as on a device sized for one package; never for an old file that is
// not there.
bool RoomOnceRemoved(const char* destination, std::uint64_t size) {
    std::uint64_t freeBytes = 0;
    std::uint32_t cluster = 0;
    const std::uint64_t oldSize = SizeOfFile(destination);
    return oldSize > 0 && ReadFreeSpace(State.DeviceRoot, &freeBytes, &cluster) && cluster > 0 &&
           freeBytes + InClusters(oldSize, cluster) >= InClusters(size, cluster);
}

// The copy's steps: written to `temporary`, flushed, read back and compared, put in place.
// A failure removes the temporary file where that is still possible; `*full` tells whether
// it was the writing that found no room.
bool CopyVerified(const char* source, const char* temporary, const char* destination,
                  const char* fileName, std::uint64_t size, bool* full) {
    if (WriteTemporaryCopy(source, temporary, fileName, size, full) &&
        MediumHoldsCopyOf(source, temporary, fileName) && PutFileInPlace(temporary, destination)) {
        return true;
    }
    RemoveFile(temporary);
    return false;
}

// A path that would not fit its buffer is a failed copy, never a copy of a name cut short.
// A failure leaves the old file as it was, but one: a copy that found no room while the old
// file held it, where removing the old file makes room, is made again after the old file is
// removed. The name holds nothing until the new file takes it.
bool CopyPackageFile(const char* fileName, std::uint64_t size) {
    char source[kPathSize];
    char destination[kPathSize];
    char temporary[kPathSize];
    if (!ComposePath(source, State.ProgramDirectory, fileName) ||
        !ComposePath(destination, State.DeviceRoot, fileName) ||
        !ComposePath(temporary, destination, kTemporarySuffix)) {
        return false;
    }
    const std::uint64_t doneBefore = progressDone;
    bool full = false;
    if (CopyVerified(source, temporary, destination, fileName, size, &full)) {
        return true;
    }
    // Only a want of room found by this attempt's own writing; a read back that differs, or
    // a source that can't be read, never costs the old file.
    if (!full || !RoomOnceRemoved(destination, size) || !RemoveFileFromMedium(destination)) {
        return false;
    }
    progressDone = doneBefore;
    return CopyVerified(source, temporary, destination, fileName, size, &full);
}

// What a pulled stick kept of an earlier run's temporary file takes room that the copy needs.
void RemoveLeftoverTemporaryFiles() {
    for (const char* fileName : {kPackageHeaderName, kPackagePayloadName}) {
        char destination[kPathSize];
        char temporary[kPathSize];
        if (ComposePath(destination, State.DeviceRoot, fileName) &&
            ComposePath(temporary, destination, kTemporarySuffix)) {
            RemoveFileFromMedium(temporary);  // there is none, mostly
        }
    }
}

// The room that the old file of `fileName` takes on the device, in whole clusters.
std::uint64_t RoomOfOldFile(const char* fileName, std::uint32_t cluster) {
    char destination[kPathSize];
    return ComposePath(destination, State.DeviceRoot, fileName)
               ? InClusters(SizeOfFile(destination), cluster)
               : 0;
}

// Whether the device could hold the new package even with both old files gone. Where it
// can't, the copy is not begun, so that both old files stay as they were; a volume whose
// free space can't be read is tried.
bool PackageMayFit(std::uint64_t headerSize, std::uint64_t payloadSize) {
    std::uint64_t freeBytes = 0;
    std::uint32_t cluster = 0;
    if (!ReadFreeSpace(State.DeviceRoot, &freeBytes, &cluster) || cluster == 0) {
        return true;
    }
    return freeBytes + RoomOfOldFile(kPackageHeaderName, cluster) +
               RoomOfOldFile(kPackagePayloadName, cluster) >=
           InClusters(headerSize, cluster) + InClusters(payloadSize, cluster);
}

}  // namespace

bool CopyUpdatePackage() {
    if (!DeviceRootHoldsTheFoundVolume()) {
        return false;
    }
    const std::uint64_t headerSize = SizeInProgramDirectory(kPackageHeaderName);
    const std::uint64_t payloadSize = SizeInProgramDirectory(kPackagePayloadName);
    progressDone = 0;
    progressTotal = 2 * (headerSize + payloadSize);
    RemoveLeftoverTemporaryFiles();
    if (!PackageMayFit(headerSize, payloadSize)) {
        return false;
    }
    return CopyPackageFile(kPackageHeaderName, headerSize) &&
           CopyPackageFile(kPackagePayloadName, payloadSize);
}
