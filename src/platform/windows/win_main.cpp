/* platform/windows/win_main.cpp: the Windows entry point of DravonUpdater.exe. */
#include <windows.h>

#include "run/run_driver.h"

namespace {

// Before anything else: DLLs load from the system folder only, so that a DLL planted beside
// the exe (in a Downloads folder, say) is never loaded. Looked up at run time, as systems
// without the call must still start.
void LoadDllsFromSystemFolderOnly() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (kernel32 == nullptr) {
        return;
    }
    FARPROC found = GetProcAddress(kernel32, "SetDefaultDllDirectories");
    if (found != nullptr) {
        auto setDefaultDllDirectories =
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(found));
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

// The drive walk asks every drive for its label: an empty card reader or optical drive must
// fail the call quietly instead of putting up the system's "no disk" box. The bits already
// set are kept.
void FailCriticalErrorsQuietly() {
    constexpr UINT kQuiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    UINT previous = SetErrorMode(kQuiet);
    SetErrorMode(previous | kQuiet);
}

}  // namespace

// The updater takes no arguments: instance, command line and show mode are ignored.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LoadDllsFromSystemFolderOnly();
    FailCriticalErrorsQuietly();
    return RunUpdater();
}
