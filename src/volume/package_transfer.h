/* volume/package_transfer.h: placing the update package on the device. */
#pragma once

// Copies update.udx and then, only if that succeeded, update.udi from the program
// directory to the device root. Each file is written to a temporary name beside its own,
// flushed, read back from the medium and compared with the program directory's file, and
// only then put in place of the old file: a file on the device is always the old one or
// the new one, whole. When the second copy fails, the first stays on the device. True when
// both files are on the device, as they are in the program directory. The progress, over
// the bytes of both files written and read back, advances chunk by chunk.
//
// Nothing is written unless the device root still holds the volume that was found there.
// Temporary files that an interrupted run left are removed first. A file whose copy found no
// room while its old file held it is copied again once the old file is removed, where that
// makes room: a device sized for one package is updated, its file absent meanwhile.
bool CopyUpdatePackage();
