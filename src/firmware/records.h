/* firmware/records.h: reading and verifying the device record and the package header. */
#pragma once

#include "firmware/record_format.h"
#include "run/run_state.h"

// Reads and verifies DeviceRoot + "version.dat"; on success stores State.DeviceIdentity.
// Returns Offer (0x00), or 0x10 can't open, 0x11 short, 0x12 CRC mismatch.
CheckResult ReadDeviceIdentity();

// Reads and verifies ProgramDirectory + "update.udx"; on success stores
// State.PackageIdentity. Returns Offer (0x00), or 0x20 can't open, 0x21 short, 0x22 CRC.
CheckResult ReadPackageIdentity();
