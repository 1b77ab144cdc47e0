/* firmware/records.cpp: reading and verifying the two firmware records from their files. */
#include "firmware/records.h"

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
