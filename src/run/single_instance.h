/* run/single_instance.h: one instance of the updater at a time. */
#pragma once

inline constexpr char kInstanceMutexName[] = "QelDravonUpdater";

// Creates the named mutex "QelDravonUpdater" and holds it for the life of the process.
// False when it already existed: another instance runs. A mutex of that name that this
// process may not open counts as no other instance.
bool AcquireSingleInstance();
