/* platform/windows/progress.cpp: the window that shows the copy's progress: a dialog of our
 * own template (resources/progress.rc) with comctl32's progress bar, pumped by the copying
 * thread between chunks, so that Windows never shows it as not responding. */
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include "platform/platform.h"
#include "platform/windows/progress_window.h"

namespace {

constexpr int kBarSteps = 1000;
// Often enough that the window always answers; more often would only slow a fast copy.
constexpr DWORD kPumpInterval = 40;  // milliseconds
HWND progressWindow = nullptr;
DWORD lastPumped = 0;  // GetTickCount()

// A copy is never left halfway: a request to close (Alt+F4, Escape, the taskbar's close) is
// taken and ignored.
INT_PTR CALLBACK IgnoreClose(HWND, UINT message, WPARAM wParam, LPARAM) {
    const bool close = message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL);
    return close ? TRUE : FALSE;
}

// Answers what waits for the window: painting, a screen reader's questions, input.
void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(progressWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

// comctl32 is loaded only now, from the system folder (WinMain restricted the search), so
// that a run that copies nothing starts as quickly as before. Version 6 comes through the
// manifest.
bool RegisterProgressBar() {
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    HMODULE comctl32 = LoadLibraryA("comctl32.dll");
    FARPROC found =
        comctl32 != nullptr ? GetProcAddress(comctl32, "InitCommonControlsEx") : nullptr;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    return found != nullptr &&
           reinterpret_cast<InitFunction>(reinterpret_cast<void*>(found))(&classes) != FALSE;
}

}  // namespace

// Without the window (comctl32 missing), the copy goes on all the same.
void BeginProgress(const char* caption) {
    if (!RegisterProgressBar()) {
        return;
    }
    progressWindow = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                        nullptr, IgnoreClose, 0);
    if (progressWindow != nullptr) {
        SetWindowTextA(progressWindow, caption);  // also its name for screen readers
        SendDlgItemMessageA(progressWindow, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, kBarSteps);
        Pump();
    }
}

void AdvanceProgress(std::uint64_t done, std::uint64_t total, const char* fileName) {
    if (progressWindow == nullptr) {
        return;
    }
    char shown[64] = "";
    GetDlgItemTextA(progressWindow, IDC_PROGRESS_FILE, shown, sizeof shown);
    if (lstrcmpA(shown, fileName) != 0) {
        SetDlgItemTextA(progressWindow, IDC_PROGRESS_FILE, fileName);
    }
    const WPARAM steps = total > 0 ? static_cast<WPARAM>(done * kBarSteps / total) : 0;
    SendDlgItemMessageA(progressWindow, IDC_PROGRESS_BAR, PBM_SETPOS, steps, 0);
    if (GetTickCount() - lastPumped >= kPumpInterval) {
        Pump();
        lastPumped = GetTickCount();
    }
}

void EndProgress() {
    if (progressWindow != nullptr) {
        DestroyWindow(progressWindow);
        progressWindow = nullptr;
        Pump();
    }
}
