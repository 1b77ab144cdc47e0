/* platform/linux/main.cpp: the entry point of dravon-updater. */
#include "platform/linux/udisks.h"
#include "run/run_driver.h"

// The updater takes no arguments. A device that it mounted itself is unmounted at the end,
// whatever the run's outcome, so that the stick may be pulled.
int main() {
    const int status = RunUpdater();
    UnmountWhatThisProgramMounted();
    return status;
}
