/* platform/linux/udisks.h: a device that the desktop did not mount, mounted through udisks2
 * for the run, and unmounted again at its end. */
#pragma once

#include <string>

// Asks udisks2 for the block devices whose file system is labelled `label` and mounts the
// first one that is not mounted, read-only, where udisks mounts it (/media/$USER/...).
// Gives its mount point; false when there is none, or no bus, no udisks2, or a refusal. An
// automounter that mounted it meanwhile lends its mount instead.
bool MountUnmountedDeviceReadOnly(const char* label, std::string* mountPoint);

// After Yes: the device that MountUnmountedDeviceReadOnly mounted read-only is unmounted and
// mounted again for writing, with udisks's own options, at the same mount point. True at
// once when this program mounted nothing; false when the device can't be had writable there.
bool MountDeviceForWriting();

// Unmounts what this program mounted itself, so that the stick may be pulled; a mount that
// was there before the run, or that an automounter made, stays.
void UnmountWhatThisProgramMounted();
