/* tests/bench/minimal_box.cpp: the baseline of the start-up benchmark, a program that
 * shows one message box and does nothing else. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr, "Firmware check", "Dravon Updater", MB_YESNO | MB_ICONQUESTION);
    return 0;
}
