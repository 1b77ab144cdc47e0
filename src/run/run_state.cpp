/* run/run_state.cpp: the run state and its content at start. */
#include "run/run_state.h"

namespace {

constexpr RunState kRunStateAtStart = {
    .TITLE = "Dravon Updater",
    .NODRAVON = "",
    .CONFIRM = "",
    .NOUPDATE = "",
    .NONEED = "",
    .CURRENT = "",
    .UPDATE = "",
    .FINISH = "",
    .ERROR = "Error",  // shown when the catalogue fails before reaching its own key
    .DISABLE_VER = false,
    .ProgramDirectory = "",
    .DeviceRoot = "",
    .DeviceSerialKnown = false,
    .DeviceSerial = "",
    .DeviceIdentity = {},
    .PackageIdentity = {},
};

}  // namespace

RunState State = kRunStateAtStart;

void ResetRunState() {
    State = kRunStateAtStart;
}
