/* firmware/update_decision.h: whether the package is refused, unnecessary or offered. */
#pragma once

#include "run/run_state.h"

// Reads the device record, then the package header, and compares the two identities
// (unless DISABLE_VER is set): region, then model, then the version texts byte by byte.
CheckResult CheckFirmware();

// Whether the device's version text is the same as or later than the package's: the first
// differing byte decides as an unsigned value; a proper prefix is the lesser text.
bool DeviceVersionIsCurrent(const char* deviceVersion, const char* packageVersion);
