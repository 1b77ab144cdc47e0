/* firmware/records.cpp: reading, verifying and writing the two firmware records. */
#include "firmware/records.h"

#include <cstring>

#include "firmware/crc32.h"
#include "platform/platform.h"
#include "run/text.h"

namespace {

// Which file a reading concerns, and the result codes that its failures give.
struct RecordFile {
    const char* name;
    const RecordLayout& layout;
    CheckResult unopenable;
    CheckResult shortRead;
    CheckResult corrupt;
};

constexpr RecordFile kDeviceRecordFile = {
    kDeviceRecordName, kDeviceRecord, CheckResult::DeviceRecordUnopenable,
    CheckResult::DeviceRecordShort, CheckResult::DeviceRecordCorrupt};
constexpr RecordFile kPackageHeaderFile = {
    kPackageHeaderName, kPackageHeader, CheckResult::PackageHeaderUnopenable,
    CheckResult::PackageHeaderShort, CheckResult::PackageHeaderCorrupt};

std::uint32_t ReadBigEndian(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

void WriteBigEndian(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

CheckResult ReadRecord(const char* directory, const RecordFile& file, FirmwareIdentity* identity) {
    char path[kPathSize];
    if (!ComposePath(path, directory, file.name)) {
        return file.unopenable;
    }
    OsHandle handle = OpenFileForReading(path);
    if (handle == nullptr) {
        return file.unopenable;
    }
    std::uint8_t record[kPackageHeader.size];
    static_assert(sizeof record >= kDeviceRecord.size);
    const auto size = static_cast<std::uint32_t>(file.layout.size);
    std::uint32_t delivered = ReadFileOnce(handle, record, size);
    CloseOsHandle(handle);
    // The count delivered decides, whatever the read itself reported.
    if (delivered != size) {
        return file.shortRead;
    }
    if (StoredCrc(record) != ComputedCrc(record, file.layout)) {
        return file.corrupt;
    }
    *identity = DecodeIdentity(record, file.layout);
    return CheckResult::Offer;
}

}  // namespace

CheckResult ReadDeviceIdentity() {
    return ReadRecord(State.DeviceRoot, kDeviceRecordFile, &State.DeviceIdentity);
}

CheckResult ReadPackageIdentity() {
    return ReadRecord(State.ProgramDirectory, kPackageHeaderFile, &State.PackageIdentity);
}

std::uint32_t StoredCrc(const std::uint8_t* record) {
    return ReadBigEndian(record + kCrcOffset);
}

std::uint32_t ComputedCrc(const std::uint8_t* record, const RecordLayout& layout) {
    return Crc32(record + kCoveredOffset, layout.size - kCoveredOffset);
}

FirmwareIdentity DecodeIdentity(const std::uint8_t* record, const RecordLayout& layout) {
    FirmwareIdentity identity = {};
    identity.region = ReadBigEndian(record + layout.regionOffset);
    identity.model = ReadBigEndian(record + layout.modelOffset);
    // The text ends at the field's first NUL; a field without one is a 12-character text.
    const auto* field = reinterpret_cast<const char*>(record + layout.versionOffset);
    std::memcpy(identity.version, field, BoundedLength(field, kVersionFieldSize));
    return identity;
}

bool EncodeRecord(std::uint8_t* record, const RecordLayout& layout, std::uint32_t region,
                  std::uint32_t model, const char* version) {
    std::size_t versionLength = BoundedLength(version, kVersionFieldSize + 1);
    if (versionLength > kVersionFieldSize) {
        return false;
    }
    WriteBigEndian(record + layout.regionOffset, region);
    WriteBigEndian(record + layout.modelOffset, model);
    std::memset(record + layout.versionOffset, 0, kVersionFieldSize);
    std::memcpy(record + layout.versionOffset, version, versionLength);
    SealRecord(record, layout);
    return true;
}

void SealRecord(std::uint8_t* record, const RecordLayout& layout) {
    WriteBigEndian(record + kCrcOffset, ComputedCrc(record, layout));
}
