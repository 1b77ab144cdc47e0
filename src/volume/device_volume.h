/* volume/device_volume.h: the device's volume, recognised by its label alone. */
#pragma once

inline constexpr char kDeviceLabel[] = "DRAVONUD";

// Walks the logical drives in the platform's order and takes the first whose volume label
// is exactly "DRAVONUD"; sets State.DeviceRoot (such as E:\, or /media/user/DRAVONUD/ on
// Linux) and the volume's serial, and returns true. A drive whose information can't be read
// doesn't match. (The Windows start-up sets the error mode so that a drive without media
// fails quietly instead of prompting.)
bool FindDeviceVolume();

// Whether State.DeviceRoot still holds the volume that FindDeviceVolume found there: labelled
// "DRAVONUD", with the same serial (or, as then, none that can be read). A stick pulled while
// the question waited, and another one mounted at the same root, is not the device.
bool DeviceRootHoldsTheFoundVolume();
