/* run/win_main.cpp: the Windows entry point of DravonUpdater.exe. */
#include <windows.h>

#include "run/run_driver.h"

// The updater takes no arguments: instance, command line and show mode are ignored.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunUpdater();
}
