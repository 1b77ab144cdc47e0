/* platform/linux/main.cpp: the entry point of dravon-updater. */
#include "run/run_driver.h"

// The updater takes no arguments.
int main() {
    return RunUpdater();
}
