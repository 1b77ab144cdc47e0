/* Fuzz target: the two record readers and the decision over arbitrary file contents. */
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fake_platform.h"
#include "firmware/record_format.h"
#include "firmware/records.h"
#include "firmware/update_decision.h"
#include "run/run_state.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsCheckResult(CheckResult result) {
    switch (result) {
        case CheckResult::Offer:
        case CheckResult::NoNeed:
        case CheckResult::DeviceRecordUnopenable:
        case CheckResult::DeviceRecordShort:
        case CheckResult::DeviceRecordCorrupt:
        case CheckResult::PackageHeaderUnopenable:
        case CheckResult::PackageHeaderShort:
        case CheckResult::PackageHeaderCorrupt:
        case CheckResult::RegionMismatch:
        case CheckResult::ModelMismatch:
            return true;
    }
    return false;
}

}  // namespace

// Input: one control byte, then the bytes shared out between version.dat and update.udx.
// Control bits: 0 seal version.dat's CRC, 1 seal update.udx's, 2 DISABLE_VER, 3 limit reads.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint8_t control = data[0];
    const std::size_t split = data[1] * size / 256;
    Bytes device(data + 2, data + 2 + (split > size - 2 ? size - 2 : split));
    Bytes package(data + 2 + device.size(), data + size);
    if ((control & 1) && device.size() >= kDeviceRecord.size) {
        SealRecord(device.data(), kDeviceRecord);
    }
    if ((control & 2) && package.size() >= kPackageHeader.size) {
        SealRecord(package.data(), kPackageHeader);
    }

    FakePlatform_Reset();
    ResetRunState();
    std::strcpy(State.DeviceRoot, "E:\\");
    std::strcpy(State.ProgramDirectory, "C:\\Update\\");
    State.DISABLE_VER = (control & 4) != 0;
    FakeFiles_Put("E:\\version.dat", device);
    FakeFiles_Put("C:\\Update\\update.udx", package);
    if (control & 8) {
        FakeFiles_LimitRead("E:\\version.dat", control >> 4);
    }

    CheckResult result = CheckFirmware();
    Require(IsCheckResult(result));
    Require(FakeFiles_OpenHandles() == 0);
    Require(std::strlen(State.DeviceIdentity.version) <= kVersionFieldSize);
    Require(std::strlen(State.PackageIdentity.version) <= kVersionFieldSize);
    // A device identity is stored only from a record whose CRC holds.
    if (result != CheckResult::DeviceRecordUnopenable && result != CheckResult::DeviceRecordShort &&
        result != CheckResult::DeviceRecordCorrupt) {
        Require(StoredCrc(device.data()) == ComputedCrc(device.data(), kDeviceRecord));
    }
    return 0;
}
