/* platform/windows/progress.cpp: the window that shows the copy's progress: a dialog of our
 * own template (resources/progress.rc) with comctl32's progress bar. The copy runs on a
 * thread of its own; the thread that made the window runs its message loop meanwhile, so
 * that Windows never shows it as not responding, also while a write blocks for seconds. */
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "platform/windows/progress_window.h"

namespace {

constexpr int kBarSteps = 1000;
// Often enough that the bar moves smoothly; the window answers its messages meanwhile.
constexpr DWORD kShowInterval = 50;  // milliseconds

// What the copy publishes for the window to show.
std::atomic<std::uint64_t> doneBytes{0};
std::atomic<std::uint64_t> totalBytes{0};
std::atomic<const char*> fileInWork{""};

HWND progressWindow = nullptr;
bool (*copyToRun)() = nullptr;
bool copied = false;  // the copy's result, read once its thread has ended

// A copy is never left halfway: a request to close (Alt+F4, Escape, the taskbar's close) is
// taken and ignored, and a logoff, restart or shutdown is refused while the window is up (the
// window's shutdown block reason tells the user why); a forced one is not asked.
INT_PTR CALLBACK IgnoreClose(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_QUERYENDSESSION) {
        SetWindowLongPtrA(window, DWLP_MSGRESULT, FALSE);
        return TRUE;
    }
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

bool ShowWindowCaptioned(const char* caption) {
    if (!RegisterProgressBar()) {
        return false;
    }
    progressWindow = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                        nullptr, IgnoreClose, 0);
    if (progressWindow == nullptr) {
        return false;
    }
    SetWindowTextA(progressWindow, caption);  // also its name for screen readers
    ShutdownBlockReasonCreate(progressWindow, L"Copying the firmware update onto the device");
    SendDlgItemMessageA(progressWindow, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, kBarSteps);
    Pump();
    return true;
}

// On the window's thread: what the copy published.
void ShowPublished() {
    const char* fileName = fileInWork.load(std::memory_order_relaxed);
    char shown[64] = "";
    GetDlgItemTextA(progressWindow, IDC_PROGRESS_FILE, shown, sizeof shown);
    if (lstrcmpA(shown, fileName) != 0) {
        SetDlgItemTextA(progressWindow, IDC_PROGRESS_FILE, fileName);
    }
    const std::uint64_t total = totalBytes.load(std::memory_order_relaxed);
    const std::uint64_t done = doneBytes.load(std::memory_order_relaxed);
    const WPARAM steps = total > 0 ? static_cast<WPARAM>(done * kBarSteps / total) : 0;
    SendDlgItemMessageA(progressWindow, IDC_PROGRESS_BAR, PBM_SETPOS, steps, 0);
}

DWORD WINAPI CopyOnItsThread(void*) {
    copied = copyToRun();
    return 0;
}

void DestroyProgressWindow() {
    ShutdownBlockReasonDestroy(progressWindow);
    DestroyWindow(progressWindow);
    Pump();
    progressWindow = nullptr;
}

}  // namespace

// Without the window (comctl32 missing) or a thread for the copy, the copy runs on this
// thread all the same, with nothing shown.
bool CopyShowingProgress(const char* caption, bool (*copy)()) {
    doneBytes = 0;
    totalBytes = 0;
    fileInWork = "";
    if (!ShowWindowCaptioned(caption)) {
        return copy();
    }
    copyToRun = copy;
    HANDLE thread = CreateThread(nullptr, 0, CopyOnItsThread, nullptr, 0, nullptr);
    if (thread == nullptr) {
        DestroyProgressWindow();
        return copy();
    }
    // MWMO_INPUTAVAILABLE: messages already seen but not yet taken wake the wait too.
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &thread, kShowInterval, QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) {
            break;
        }
        Pump();
        ShowPublished();
    }
    WaitForSingleObject(thread, INFINITE);  // it has ended, unless the wait above failed
    CloseHandle(thread);
    DestroyProgressWindow();  // gone before the box that says how the copy ended
    return copied;
}

void AdvanceProgress(std::uint64_t done, std::uint64_t total, const char* fileName) {
    doneBytes.store(done, std::memory_order_relaxed);
    totalBytes.store(total, std::memory_order_relaxed);
    fileInWork.store(fileName, std::memory_order_relaxed);
}
