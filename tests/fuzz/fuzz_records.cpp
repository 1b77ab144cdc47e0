/* Fuzz target: the two record readers and the decision over arbitrary file contents, judged
 * by the tests' own bitwise CRC and hand-placed offsets (record_bytes.h), not by the
 * updater's functions. */
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_platform.h"
#include "firmware/update_decision.h"
#include "record_bytes.h"
#include "run/run_state.h"

namespace {

using record_bytes::Layout;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Whether `file` holds a whole record whose CRC holds.
bool IsValid(const Bytes& file, const Layout& layout) {
    if (file.size() < layout.size) {
        return false;
    }
    std::uint32_t stored = (std::uint32_t{file[4]} << 24) | (std::uint32_t{file[5]} << 16) |
                           (std::uint32_t{file[6]} << 8) | file[7];
    return stored == record_bytes::BitwiseCrc32(file.data() + 8, layout.size - 8);
}

std::uint32_t BigEndianAt(const Bytes& file, std::size_t offset) {
    return (std::uint32_t{file[offset]} << 24) | (std::uint32_t{file[offset + 1]} << 16) |
           (std::uint32_t{file[offset + 2]} << 8) | file[offset + 3];
}

// The identity stored is the file's fields, read at their documented offsets.
void RequireIdentity(const FirmwareIdentity& identity, const Bytes& file, const Layout& layout) {
    Require(identity.region == BigEndianAt(file, layout.region));
    Require(identity.model == BigEndianAt(file, layout.model));
    std::string field(file.begin() + static_cast<long>(layout.version),
                      file.begin() + static_cast<long>(layout.version) + 12);
    Require(field.substr(0, field.find('\0')) == identity.version);
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
    if ((control & 1) && device.size() >= record_bytes::kDevice.size) {
        record_bytes::Seal(device, record_bytes::kDevice.size);
    }
    if ((control & 2) && package.size() >= record_bytes::kPackage.size) {
        record_bytes::Seal(package, record_bytes::kPackage.size);
    }
    const bool limitRead = (control & 8) != 0;
    const std::uint32_t readLimit = control >> 4;

    FakePlatform_Reset();
    ResetRunState();
    std::strcpy(State.DeviceRoot, "E:\\");
    std::strcpy(State.ProgramDirectory, "C:\\Update\\");
    State.DISABLE_VER = (control & 4) != 0;
    FakeFiles_Put("E:\\version.dat", device);
    FakeFiles_Put("C:\\Update\\update.udx", package);
    if (limitRead) {
        FakeFiles_LimitRead("E:\\version.dat", readLimit);
    }

    const CheckResult result = CheckFirmware();
    Require(FakeFiles_OpenHandles() == 0);

    // The device record decides first: its code, or on to the package.
    const bool deviceReadWhole = device.size() >= 28 && (!limitRead || readLimit >= 28);
    if (!deviceReadWhole) {
        Require(result == CheckResult::DeviceRecordShort);
        return 0;
    }
    if (!IsValid(device, record_bytes::kDevice)) {
        Require(result == CheckResult::DeviceRecordCorrupt);
        return 0;
    }
    RequireIdentity(State.DeviceIdentity, device, record_bytes::kDevice);
    if (package.size() < 512) {
        Require(result == CheckResult::PackageHeaderShort);
        return 0;
    }
    if (!IsValid(package, record_bytes::kPackage)) {
        Require(result == CheckResult::PackageHeaderCorrupt);
        Require(State.PackageIdentity.region == 0 && State.PackageIdentity.version[0] == '\0');
        return 0;
    }
    RequireIdentity(State.PackageIdentity, package, record_bytes::kPackage);
    Require(result == CheckResult::Offer || !State.DISABLE_VER);
    return 0;
}
