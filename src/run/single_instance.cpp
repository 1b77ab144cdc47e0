/* run/single_instance.cpp: the single-instance guard over a named mutex. */
#include "run/single_instance.h"

#include "platform/platform.h"

namespace {

// Never closed: the system releases it when the process ends.
OsHandle instanceMutex = nullptr;

}  // namespace

bool AcquireSingleInstance() {
    // Creating rather than opening first leaves no moment in which two instances that
    // start together could both pass.
    bool alreadyExisted = false;
    OsHandle mutex = CreateNamedMutex(kInstanceMutexName, &alreadyExisted);
    if (alreadyExisted) {
        CloseOsHandle(mutex);
        return false;
    }
    instanceMutex = mutex;
    return true;
}
