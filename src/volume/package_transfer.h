/* volume/package_transfer.h: placing the update package on the device. */
#pragma once

// Copies update.udx and then, only if that succeeded, update.udi from the program
// directory to the device root, replacing files of the same names. No rollback: when the
// second copy fails, the first stays on the device. True when both were copied.
bool CopyUpdatePackage();
