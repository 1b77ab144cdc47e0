/* tests/e2e/dialog_driver.cpp: drives the updater's message boxes from the Windows side.
 *
 *   dialog-driver run EXE [--cwd DIR] [--answer IDYES|IDNO|IDOK]... [--second-instance]
 *                         [--handshake DIR] [--timeout MS] [--first-dialog-time]
 *                         [--hold-open FILE]... [--hold-briefly FILE]...
 *                         [--hold-after-move FILE]
 *                         [--watch-progress [--paused SECONDS]] [--end-session-after S]
 *                         [--swap-before-answer LETTER UNIX-FOLDER]
 *   dialog-driver version EXE
 *
 * `run` starts EXE and, for every message box that the process shows, prints its caption,
 * its text (from the static control 0xFFFF), its buttons and the default one, then presses
 * the next answer with WM_COMMAND. A box with no answer left is reported as unexpected and
 * closed with No or OK. When the process ends it prints its exit status. With
 * --second-instance it starts EXE once more while the first box is up and reports how that
 * instance ended and how many boxes it showed. With --handshake it writes DIR\dialog-N.ready
 * once box N is up and waits for DIR\dialog-N.done before pressing (for screenshots). With
 * --first-dialog-time it watches every millisecond and prints the time from starting EXE to
 * its first box as "first-dialog-ms: T". With --hold-open it keeps FILE open for writing
 * (sharing reading and writing), as a sync tool or a virus scanner would, while EXE runs;
 * with --hold-briefly, until half a second after the first answer Yes. With --hold-after-move
 * it opens FILE.partial for reading once written, sharing reading and the move but not
 * writing, and holds it, moved to FILE, until half a second after the move, as a scanner
 * looks at a file just written.
 * With --watch-progress it watches the progress window from the answer Yes to the next box
 * and prints its caption, whether its bar rose three times or more, whether it answered
 * every probe within a second, and whether it was gone when the next box came; with --paused,
 * whether it rose both before and after a pause of that many seconds or more. With
 * --end-session-after, S seconds after the answer Yes it asks the progress window
 * WM_QUERYENDSESSION, as a logoff does, and prints "end session asked: refused" or "allowed";
 * where allowed, the session ends as Windows ends it: WM_ENDSESSION, then the process is
 * terminated. With --swap-before-answer, once the first box is up, another volume takes the
 * drive LETTER: Wine's mount manager is told to map it to UNIX-FOLDER, as when a stick is
 * pulled and another one plugged in (Wine keeps a letter's label and serial until then); it
 * prints "before the answer: done" once that is so.
 *
 * `version` prints the version record and the manifest of EXE. Texts are printed with
 * backslash escapes (\n, \\, \xHH) so that every line stays one line. */
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/escape.h"

namespace {

struct ButtonName {
    int id;
    const char* name;
};
constexpr ButtonName kButtons[] = {
    {IDOK, "IDOK"},         {IDCANCEL, "IDCANCEL"}, {IDABORT, "IDABORT"}, {IDRETRY, "IDRETRY"},
    {IDIGNORE, "IDIGNORE"}, {IDYES, "IDYES"},       {IDNO, "IDNO"}};

const char* NameOfButton(int id) {
    for (const ButtonName& button : kButtons) {
        if (button.id == id) {
            return button.name;
        }
    }
    return "ID?";
}

int ButtonByName(const char* name) {
    for (const ButtonName& button : kButtons) {
        if (std::strcmp(button.name, name) == 0) {
            return button.id;
        }
    }
    return 0;
}

struct Search {
    DWORD processId;
    HWND found;
};

constexpr char kProgressBarClass[] = "msctls_progress32";

HWND BarOf(HWND window) {
    return FindWindowExA(window, nullptr, kProgressBarClass, nullptr);
}

// A visible window of the process: a message box, or (`progress`) the progress window,
// which is a dialog too, but holds a progress bar.
template <bool progress>
BOOL CALLBACK FindWindowOf(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && IsWindowVisible(window) &&
        std::strcmp(className, "#32770") == 0 && (BarOf(window) != nullptr) == progress) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND DialogOf(DWORD processId) {
    Search search = {processId, nullptr};
    EnumWindows(FindWindowOf<false>, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgressWindowOf(DWORD processId) {
    Search search = {processId, nullptr};
    EnumWindows(FindWindowOf<true>, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A logoff's question to the progress window, `seconds` after the answer Yes.
void EndSession(HANDLE process, DWORD processId, DWORD seconds) {
    Sleep(seconds * 1000);
    HWND window = ProgressWindowOf(processId);
    DWORD_PTR allowed = TRUE;
    if (window == nullptr || !SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                                  SMTO_ABORTIFHUNG, 5000, &allowed)) {
        std::printf("end session asked: no progress window\n");
    } else {
        std::printf("end session asked: %s\n", allowed ? "allowed" : "refused");
        SendMessageTimeoutA(window, WM_ENDSESSION, allowed, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                            5000, nullptr);
        if (allowed) {
            TerminateProcess(process, 1);
        }
    }
    std::fflush(stdout);
}

// From the answer Yes until the next box or the end of the process.
void WatchProgress(HANDLE process, DWORD processId, DWORD timeout, DWORD pausedSeconds) {
    std::string caption = "(none)";
    int rises = 0;
    DWORD lastRise = 0;  // GetTickCount() at the last rise
    bool pauseBetweenRises = false;
    bool answered = true;
    DWORD_PTR last = 0;
    HWND box = nullptr;
    for (DWORD waited = 0;
         box == nullptr && waited < timeout && WaitForSingleObject(process, 20) == WAIT_TIMEOUT;
         waited += 20) {
        box = DialogOf(processId);
        HWND window = ProgressWindowOf(processId);
        if (box != nullptr || window == nullptr) {
            continue;
        }
        char text[256] = "";
        GetWindowTextA(window, text, sizeof text);
        caption = text;
        DWORD_PTR position = 0;
        HWND bar = BarOf(window);
        if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position)) {
            // A window destroyed between the look for it and the probe (the copy ended) is
            // gone, not unanswered. DestroyWindow takes the bar before its dialog, and the
            // program never destroys the bar alone, so a bar that is gone (or was already
            // gone at the look) means the same.
            const bool beingDestroyed =
                IsWindow(window) == FALSE || bar == nullptr || IsWindow(bar) == FALSE;
            answered = answered && beingDestroyed;
        } else if (position > last) {
            const DWORD now = GetTickCount();
            pauseBetweenRises |= rises > 0 && now - lastRise >= pausedSeconds * 1000;
            ++rises;
            last = position;
            lastRise = now;
        }
    }
    const bool gone = ProgressWindowOf(processId) == nullptr;
    std::printf(
        "progress caption: %s\nprogress rose: %s\nprogress answered: %s\n"
        "progress gone before the next dialog: %s\n",
        Escape(caption).c_str(), rises >= 3 ? "3 times or more" : "fewer than 3 times",
        answered ? "yes" : "no", gone ? "yes" : "no");
    if (pausedSeconds > 0) {
        std::printf("progress rose before and after a pause of %lu s: %s\n", pausedSeconds,
                    pauseBetweenRises ? "yes" : "no");
    }
    std::fflush(stdout);
}

BOOL CALLBACK CollectButton(HWND child, LPARAM parameter) {
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child)) {
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(child);
    }
    return TRUE;
}

// The button drawn as the default one; the dialog's own default id only as a fallback.
int DefaultButton(HWND dialog, const std::vector<HWND>& buttons) {
    for (HWND button : buttons) {
        if ((GetWindowLongA(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) {
            return GetDlgCtrlID(button);
        }
    }
    LRESULT defId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    return HIWORD(defId) == DC_HASDEFID ? LOWORD(defId) : 0;
}

// Prints the box and returns its buttons.
std::vector<HWND> Describe(HWND dialog, int number) {
    char caption[1024] = "";
    char text[4096] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
    std::vector<HWND> buttons;
    EnumChildWindows(dialog, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    std::printf("dialog %d\ncaption: %s\ntext: %s\nbuttons:", number, Escape(caption).c_str(),
                Escape(text).c_str());
    for (HWND button : buttons) {
        std::printf(" %s", NameOfButton(GetDlgCtrlID(button)));
    }
    std::printf("\ndefault: %s\n", NameOfButton(DefaultButton(dialog, buttons)));
    std::fflush(stdout);
    return buttons;
}

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Started by its long path in UTF-16: started by a short or ANSI path, the program would get
// that path as its module path, and a folder name that the code page can't spell would
// never reach it.
// Wine's mount manager maps a drive letter to a Unix folder, and reads its label and serial
// anew, with this request of its own (as its drive settings do).
struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool SwapDrive(char letter, const char* unixFolder) {
    char request[1024] = {};
    auto* drive = reinterpret_cast<UnixDrive*>(request);
    const std::size_t length = std::strlen(unixFolder);
    if (sizeof *drive + length + 1 > sizeof request) {
        return false;
    }
    const char root[] = {letter, ':', '\\', '\0'};
    drive->type = GetDriveTypeA(root);
    drive->letter = static_cast<WCHAR>(letter | 0x20);
    drive->mountPointOffset = sizeof *drive;
    std::memcpy(request + sizeof *drive, unixFolder, length + 1);
    drive->size = static_cast<ULONG>(sizeof *drive + length + 1);
    HANDLE manager =
        CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    const bool swapped = manager != INVALID_HANDLE_VALUE &&
                         DeviceIoControl(manager, kDefineUnixDrive, drive, drive->size, nullptr, 0,
                                         &returned, nullptr);
    if (manager != INVALID_HANDLE_VALUE) {
        CloseHandle(manager);
    }
    return swapped;
}

bool StartProcess(const wchar_t* exe, const wchar_t* directory, PROCESS_INFORMATION* process) {
    std::wstring commandLine = std::wstring(L"\"") + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory,
                          &startup, process) != FALSE;
}

bool WaitForFile(const std::string& path, DWORD timeout) {
    for (DWORD waited = 0; waited < timeout; waited += 50) {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

// Starts a second instance while the first one's box is up; reports how it ended.
void RunSecondInstance(const wchar_t* exe, const wchar_t* directory, DWORD timeout) {
    PROCESS_INFORMATION second = {};
    if (!StartProcess(exe, directory, &second)) {
        std::printf("second-instance: could not start\n");
        return;
    }
    int dialogs = 0;
    DWORD waited = 0;
    while (WaitForSingleObject(second.hProcess, 50) == WAIT_TIMEOUT && waited < timeout) {
        waited += 50;
        if (HWND dialog = DialogOf(second.dwProcessId)) {
            ++dialogs;
            Press(dialog, IDNO);
            Press(dialog, IDOK);
        }
    }
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(second.hProcess, &status);
    if (status == STILL_ACTIVE) {
        TerminateProcess(second.hProcess, 99);
        std::printf("second-instance: still running\n");
    } else {
        std::printf("second-instance: exit %lu, dialogs %d\n", status, dialogs);
    }
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);
}

// Opens `path`.partial for reading once its writer has closed it, sharing reading and the
// move only: the handle follows the file to `path`, where it keeps others from writing it
// until half a second after the move.
DWORD WINAPI HoldAfterTheMove(void* parameter) {
    const std::wstring path = static_cast<const wchar_t*>(parameter);
    const std::wstring temporary = path + L".partial";
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int polls = 0; polls < 30000 && file == INVALID_HANDLE_VALUE; ++polls) {
        file = CreateFileW(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
        Sleep(1);
    }
    for (int polls = 0; polls < 30000; ++polls) {
        if (GetFileAttributesW(temporary.c_str()) == INVALID_FILE_ATTRIBUTES) {
            Sleep(500);
            break;
        }
        Sleep(1);
    }
    CloseHandle(file);
    return 0;
}

int Run(int argc, char** argv) {
    // The paths as the command line gave them, in UTF-16; argv holds them in the code page.
    int wideCount = 0;
    wchar_t** wideArgs = CommandLineToArgvW(GetCommandLineW(), &wideCount);
    if (wideArgs == nullptr || wideCount != argc) {
        std::fprintf(stderr, "dialog-driver: cannot read the command line\n");
        return 2;
    }
    const wchar_t* exe = wideArgs[2];
    const wchar_t* directory = nullptr;
    const char* handshake = nullptr;
    std::vector<int> answers;
    bool secondInstance = false;
    bool timeFirstDialog = false;
    bool watchProgress = false;
    DWORD pausedSeconds = 0;
    DWORD endSessionAfter = 0;
    DWORD timeout = 20000;
    const char* swapLetter = nullptr;
    const char* swapFolder = nullptr;
    std::vector<HANDLE> held;
    std::vector<HANDLE> heldBriefly;
    for (int i = 3; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--second-instance") {
            secondInstance = true;
        } else if (option == "--first-dialog-time") {
            timeFirstDialog = true;
        } else if (option == "--watch-progress") {
            watchProgress = true;
        } else if (i + 1 < argc && option == "--cwd") {
            directory = wideArgs[++i];
        } else if (i + 1 < argc && option == "--answer") {
            answers.push_back(ButtonByName(argv[++i]));
        } else if (i + 1 < argc && option == "--handshake") {
            handshake = argv[++i];
        } else if (i + 1 < argc && (option == "--hold-open" || option == "--hold-briefly")) {
            HANDLE file =
                CreateFileW(wideArgs[++i], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                std::fprintf(stderr, "dialog-driver: cannot hold %s open\n", argv[i]);
                return 2;
            }
            (option == "--hold-open" ? held : heldBriefly).push_back(file);
        } else if (i + 1 < argc && option == "--hold-after-move") {
            HANDLE watcher = CreateThread(nullptr, 0, HoldAfterTheMove, wideArgs[++i], 0, nullptr);
            if (watcher == nullptr) {
                return 2;
            }
            CloseHandle(watcher);
        } else if (i + 1 < argc && option == "--end-session-after") {
            endSessionAfter = std::strtoul(argv[++i], nullptr, 10);
        } else if (i + 2 < argc && option == "--swap-before-answer") {
            swapLetter = argv[++i];
            swapFolder = argv[++i];
        } else if (i + 1 < argc && option == "--paused") {
            pausedSeconds = std::strtoul(argv[++i], nullptr, 10);
        } else if (i + 1 < argc && option == "--timeout") {
            timeout = std::strtoul(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "dialog-driver: bad option %s\n", option.c_str());
            return 2;
        }
    }
    LARGE_INTEGER frequency;
    LARGE_INTEGER started;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    PROCESS_INFORMATION process = {};
    if (!StartProcess(exe, directory, &process)) {
        std::printf("start failed: %lu\n", GetLastError());
        return 2;
    }
    int result = 0;
    std::size_t answered = 0;
    int number = 0;
    DWORD waited = 0;
    DWORD releaseAt = 0;  // GetTickCount() when the brief holds end; 0 before the answer Yes
    auto releaseBriefHolds = [&] {
        for (HANDLE file : heldBriefly) {
            CloseHandle(file);
        }
        heldBriefly.clear();
    };
    // Until the first box, every millisecond when timing it.
    auto poll = [&] { return timeFirstDialog && number == 0 ? DWORD{1} : DWORD{50}; };
    for (DWORD wait = poll(); WaitForSingleObject(process.hProcess, wait) == WAIT_TIMEOUT;
         wait = poll()) {
        if ((waited += wait) > timeout) {
            TerminateProcess(process.hProcess, 99);
            std::printf("timeout\n");
            return 4;
        }
        if (releaseAt != 0 && static_cast<LONG>(GetTickCount() - releaseAt) >= 0) {
            releaseBriefHolds();
        }
        HWND dialog = DialogOf(process.dwProcessId);
        if (dialog == nullptr) {
            continue;
        }
        if (timeFirstDialog && number == 0) {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            std::printf("first-dialog-ms: %.1f\n",
                        1000.0 * static_cast<double>(now.QuadPart - started.QuadPart) /
                            static_cast<double>(frequency.QuadPart));
        }
        Describe(dialog, ++number);
        if (secondInstance && number == 1) {
            RunSecondInstance(exe, directory, timeout);
        }
        if (handshake != nullptr) {
            std::string base = std::string(handshake) + "\\dialog-" + std::to_string(number);
            CloseHandle(CreateFileA((base + ".ready").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr));
            WaitForFile(base + ".done", 30000);
        }
        const bool swapped =
            swapLetter != nullptr && number == 1 && SwapDrive(*swapLetter, swapFolder);
        int answer = IDNO;
        if (answered < answers.size()) {
            answer = answers[answered++];
        } else {
            std::printf("unexpected: no answer left\n");
            result = 3;
            Press(dialog, IDNO);
            answer = IDOK;
        }
        std::printf("pressed: %s\n", NameOfButton(answer));
        if (swapped) {
            std::printf("before the answer: done\n");
        }
        std::fflush(stdout);
        if (answer == IDYES && releaseAt == 0) {
            releaseAt = GetTickCount() + 500;
        }
        Press(dialog, answer);
        // Wait until the box has gone, so that it isn't described twice.
        for (DWORD gone = 0; IsWindow(dialog) && IsWindowVisible(dialog) && gone < timeout;
             gone += 20) {
            Sleep(20);
        }
        if (watchProgress && answer == IDYES) {
            WatchProgress(process.hProcess, process.dwProcessId, timeout, pausedSeconds);
        }
        if (endSessionAfter > 0 && answer == IDYES) {
            EndSession(process.hProcess, process.dwProcessId, endSessionAfter);
        }
        waited = 0;
    }
    if (answered < answers.size()) {
        std::printf("unexpected: %zu answers left\n", answers.size() - answered);
        result = 3;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    std::printf("exit: %lu\n", status);
    releaseBriefHolds();
    for (HANDLE file : held) {
        CloseHandle(file);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

void PrintVersionString(const std::vector<char>& data, const char* block, const char* name) {
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%s\\%s", block, name);
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), query, &value, &length)) {
        std::printf("%s: \"%s\"\n", name, Escape(static_cast<const char*>(value)).c_str());
    } else {
        std::printf("%s: (absent)\n", name);
    }
}

int Version(const char* exe) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
    std::vector<char> data(size ? size : 1);
    if (size == 0 || !GetFileVersionInfoA(exe, 0, size, data.data())) {
        std::printf("version: none\n");
        return 1;
    }
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", &value, &length)) {
        auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
        std::printf("file-version: %d.%d.%d.%d\nproduct-version: %d.%d.%d.%d\n",
                    HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                    HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                    HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                    HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    }
    char block[16] = "";
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
        auto* words = static_cast<WORD*>(value);
        std::snprintf(block, sizeof block, "%04X%04X", words[0], words[1]);
        std::printf("translation: %s\n", block);
    }
    for (const char* name : {"FileDescription", "FileVersion", "InternalName", "OriginalFilename",
                             "ProductName", "ProductVersion"}) {
        PrintVersionString(data, block, name);
    }
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC resource =
        module ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
    if (resource != nullptr) {
        std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                             SizeofResource(module, resource));
        std::printf("manifest: %s\n", Escape(manifest.c_str()).c_str());
    } else {
        std::printf("manifest: (absent)\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "run") == 0) {
        return Run(argc, argv);
    }
    if (argc == 3 && std::strcmp(argv[1], "version") == 0) {
        return Version(argv[2]);
    }
    std::fprintf(stderr, "usage: dialog-driver run EXE [options] | dialog-driver version EXE\n");
    return 2;
}
