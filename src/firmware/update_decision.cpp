/* firmware/update_decision.cpp: the update decision over both firmware identities. */
#include "firmware/update_decision.h"

#include <cstring>

#include "firmware/records.h"

bool DeviceVersionIsCurrent(const char* deviceVersion, const char* packageVersion) {
    // strcmp compares as unsigned char and treats a proper prefix as the lesser text.
    return std::strcmp(deviceVersion, packageVersion) >= 0;
}

CheckResult CheckFirmware() {
    CheckResult result = ReadDeviceIdentity();
    if (result != CheckResult::Offer) {
        return result;
    }
    result = ReadPackageIdentity();
    if (result != CheckResult::Offer) {
        return result;
    }
    if (State.DISABLE_VER) {
        return CheckResult::Offer;
    }
    const FirmwareIdentity& device = State.DeviceIdentity;
    const FirmwareIdentity& package = State.PackageIdentity;
    if (package.region != 0 && package.region != device.region) {
        return CheckResult::RegionMismatch;
    }
    if (package.model != device.model) {
        return CheckResult::ModelMismatch;
    }
    if (DeviceVersionIsCurrent(device.version, package.version)) {
        return CheckResult::NoNeed;
    }
    return CheckResult::Offer;
}
