/* platform/linux/copy.cpp: the steps by which a file is written onto the device.
 *
 * Linux returns from writes long before the data reaches a USB stick, and keeps what was
 * written in its cache, from which a read would answer. So a file is flushed with fsync,
 * read back past the cache, and renamed over the old file only then; the file under its new
 * name and the folder are flushed too, so that the rename is on the device before the copy
 * is reported done. */
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/linux/descriptors.h"
#include "platform/platform.h"

namespace {

// Whether the last step of a copy that failed did so for want of room on the volume.
bool lastFailureFull = false;

bool Failed() {
    lastFailureFull = errno == ENOSPC || errno == EDQUOT;
    return false;
}

// Opens what lies at `path` for reading only, never through a link; -1 when it can't.
int OpenToRead(const char* path, int flags = 0) {
    return open(path, flags | O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
}

// Flushes the file or folder at `path` through a descriptor of its own (opened with `flags`),
// which also writes what the file system keeps of it beside its data: its folder entry.
bool Flush(const char* path, int flags = 0) {
    int descriptor = OpenToRead(path, flags);
    if (descriptor < 0) {
        return false;
    }
    bool flushed = fsync(descriptor) == 0;
    return close(descriptor) == 0 && flushed;
}

// Flushes the folder that holds `path`, so that a rename in it is on the device too.
bool FlushFolderOf(const char* path) {
    char folder[PATH_MAX];
    int length = std::snprintf(folder, sizeof folder, "%s", path);
    char* last = std::strrchr(folder, '/');
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof folder || last == nullptr) {
        return false;
    }
    last[last == folder ? 1 : 0] = '\0';
    return Flush(folder, O_DIRECTORY);
}

// vfat and exfat free a file's clusters when the last one using it lets go. Flushed then,
// the freeing may reach the device before the entry goes (exfat writes its bitmap, which lies
// before the folder, first), so that a stick pulled in between holds an entry that points at
// freed clusters. A descriptor held until the entry is flushed puts the freeing after. Only
// there: a FUSE file system hides an open file that a rename replaces, and loses it when the
// rename then fails. -1 for no descriptor.
int HoldIfFreedEarly(const char* path) {
    struct statfs volume;
    if (statfs(path, &volume) != 0 ||
        (volume.f_type != MSDOS_SUPER_MAGIC && volume.f_type != EXFAT_SUPER_MAGIC)) {
        return -1;
    }
    return OpenToRead(path);
}

// Lets go of a descriptor that `HoldIfFreedEarly` took, and flushes the freed clusters.
bool LetGoAndFlush(int held, const char* path, bool doneSoFar) {
    if (held < 0) {
        return doneSoFar;
    }
    close(held);
    return doneSoFar && FlushFolderOf(path);
}

}  // namespace

// Made exclusively: with O_EXCL a link at the name is never followed, and nothing that lay
// there (a leftover of a pulled stick) is written through.
OsHandle CreateNewFile(const char* path) {
    unlink(path);  // if it fails, the exclusive create below fails too
    const int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        Failed();
    }
    return HandleOf(descriptor);
}

// Linux would keep the written bytes back for half a minute: sent on to the device chunk by
// chunk, they make the progress shown the device's own, and leave the flush little to wait
// for while the window can't be pumped.
bool WriteWholly(OsHandle file, const void* bytes, std::uint32_t size) {
    const int descriptor = DescriptorOf(file);
    const char* next = static_cast<const char*>(bytes);
    for (std::uint32_t left = size; left > 0;) {
        ssize_t written = write(descriptor, next, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return Failed();
        }
        if (written == 0) {
            errno = EIO;  // no cause given: not a want of room
            return Failed();
        }
        next += written;
        left -= static_cast<std::uint32_t>(written);
    }
    constexpr unsigned kWriteOut =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    const off_t end = lseek(descriptor, 0, SEEK_CUR);
    return end < size || sync_file_range(descriptor, end - size, size, kWriteOut) == 0 ||
           errno == ENOSYS || errno == EOPNOTSUPP ||  // only where the call is not supported
           Failed();
}

bool FlushAndClose(OsHandle file) {
    bool flushed = fsync(DescriptorOf(file)) == 0 || Failed();
    return (close(DescriptorOf(file)) == 0 || Failed()) && flushed;
}

// O_DIRECT reads the medium itself (vfat and exfat take it; the core's buffers meet its
// alignment). Where the file system refuses it, the file was flushed, so its pages in the
// cache are clean and the system drops them when told; but it keeps those that another
// process has mapped, so that is only the second choice.
OsHandle OpenFileOnMedium(const char* path) {
    int descriptor = OpenToRead(path, O_DIRECT);
    if (descriptor >= 0 || errno != EINVAL) {
        return HandleOf(descriptor);
    }
    descriptor = OpenToRead(path);
    if (descriptor >= 0 && posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED) != 0) {
        close(descriptor);
        descriptor = -1;
    }
    return HandleOf(descriptor);
}

// A rename replaces the old file in one step. On vfat the new entry's start cluster and size
// reach the device only when the file itself is written back, which a flush of the folder
// does not do: so the file is flushed under its new name, then the folder.
bool PutFileInPlace(const char* temporary, const char* destination) {
    const int old = HoldIfFreedEarly(destination);
    const bool placed = std::rename(temporary, destination) == 0 && Flush(destination) &&
                        FlushFolderOf(destination);
    return LetGoAndFlush(old, destination, placed);
}

bool RemoveFile(const char* path) {
    return unlink(path) == 0;
}

bool RemoveFileFromMedium(const char* path) {
    const int held = HoldIfFreedEarly(path);
    const bool removed = unlink(path) == 0 && FlushFolderOf(path);
    return LetGoAndFlush(held, path, removed);
}

bool LastFailureWasFull() {
    return lastFailureFull;
}

// On vfat and exfat a block of statvfs is a cluster.
bool ReadFreeSpace(const char* root, std::uint64_t* freeBytes, std::uint32_t* clusterBytes) {
    struct statvfs volume;
    if (statvfs(root, &volume) != 0 || volume.f_bsize == 0 || volume.f_bsize > UINT32_MAX) {
        return false;
    }
    *freeBytes = std::uint64_t{volume.f_bavail} * volume.f_frsize;
    *clusterBytes = static_cast<std::uint32_t>(volume.f_bsize);
    return true;
}
