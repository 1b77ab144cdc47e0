/* tests/e2e/planted_dll.cpp: a DLL that the end-to-end tests plant beside the exe under the
 * name of one that the dialogs load; when loaded, it leaves NAME.loaded beside itself. */
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 8] = "";
        DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatA(path, ".loaded");
            CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        }
    }
    return TRUE;
}
