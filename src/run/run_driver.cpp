/* run/run_driver.cpp: the run driver, the only place that talks to the user. */
#include "run/run_driver.h"

#include "firmware/update_decision.h"
#include "messages/message_catalogue.h"
#include "platform/platform.h"
#include "run/ansi_text.h"
#include "run/run_state.h"
#include "run/single_instance.h"
#include "volume/device_volume.h"
#include "volume/package_transfer.h"

namespace {

// Error codes shown by the driver itself, beside the firmware check's results.
constexpr unsigned kCatalogueFailedCode = 0x00;
constexpr unsigned kTransferFailedCode = 0x50;

int Show(const char* text, unsigned style) {
    return ShowMessageBox(text, State.TITLE, style);
}

void ShowError(unsigned code) {
    char text[kDialogTextSize];
    ComposeText(text, sizeof text, "%s CODE : 0x%02X", State.ERROR, code);
    Show(text, kBoxOk | kBoxIconError);
}

void ShowRefusal() {
    const FirmwareIdentity& device = State.DeviceIdentity;
    const FirmwareIdentity& package = State.PackageIdentity;
    char text[kDialogTextSize];
    ComposeText(text, sizeof text, "%s\n\nModel  %08X:%08X\nRegion %08X:%08X", State.NOUPDATE,
                static_cast<unsigned>(device.model), static_cast<unsigned>(package.model),
                static_cast<unsigned>(device.region), static_cast<unsigned>(package.region));
    Show(text, kBoxOk | kBoxIconError);
}

// Both versions, each after its label, then the closing paragraph.
int ShowVersions(const char* closing, unsigned style) {
    char text[kDialogTextSize];
    ComposeText(text, sizeof text, "%s%s\n%s%s\n\n%s", State.CURRENT, State.DeviceIdentity.version,
                State.UPDATE, State.PackageIdentity.version, closing);
    return Show(text, style);
}

void OfferUpdate() {
    int answer = ShowVersions(State.CONFIRM, kBoxYesNo | kBoxIconQuestion | kBoxDefaultButton1);
    // Only an explicit Yes writes to the device; No or a box that failed to show ends here.
    if (answer != kAnswerYes) {
        return;
    }
    if (CopyShowingProgress(State.TITLE, CopyUpdatePackage)) {
        Show(State.FINISH, kBoxOk | kBoxIconInformation);
    } else {
        ShowError(kTransferFailedCode);
    }
}

}  // namespace

int RunUpdater() {
    if (!AcquireSingleInstance()) {
        return 0;
    }
    if (!LoadMessageCatalogue()) {
        ShowError(kCatalogueFailedCode);
        return 0;
    }
    if (!FindDeviceVolume()) {
        Show(State.NODRAVON, kBoxOk | kBoxIconError);
        return 0;
    }
    CheckResult result = CheckFirmware();
    switch (result) {
        case CheckResult::Offer:
            OfferUpdate();
            break;
        case CheckResult::NoNeed:
            ShowVersions(State.NONEED, kBoxOk | kBoxIconInformation);
            break;
        case CheckResult::RegionMismatch:
        case CheckResult::ModelMismatch:
            ShowRefusal();
            break;
        default:
            ShowError(static_cast<unsigned>(result));
            break;
    }
    return 0;
}
