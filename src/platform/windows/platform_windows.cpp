/* platform/windows/platform_windows.cpp: the operating-system operations on Win32,
 * called through their ANSI ("A") entry points. */
#include <windows.h>

#include "platform/platform.h"

static_assert(kBoxOk == MB_OK && kBoxYesNo == MB_YESNO && kBoxIconError == MB_ICONERROR &&
              kBoxIconQuestion == MB_ICONQUESTION && kBoxIconInformation == MB_ICONINFORMATION &&
              kBoxDefaultButton1 == MB_DEFBUTTON1);
static_assert(kAnswerOk == IDOK && kAnswerYes == IDYES && kAnswerNo == IDNO);

namespace {

OsHandle FromWin32(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : static_cast<OsHandle>(handle);
}

}  // namespace

// ---- Files ----------------------------------------------------------------

OsHandle OpenFileForReading(const char* path) {
    return FromWin32(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_ARCHIVE, nullptr));
}

std::uint32_t ReadFileOnce(OsHandle file, void* buffer, std::uint32_t size) {
    DWORD delivered = 0;
    // Only the count delivered matters to the caller, not the call's own success report.
    ReadFile(static_cast<HANDLE>(file), buffer, size, &delivered, nullptr);
    return delivered <= size ? delivered : 0;
}

bool CopyFileReplacing(const char* source, const char* destination) {
    return CopyFileA(source, destination, /*bFailIfExists=*/FALSE) != FALSE;
}

void CloseOsHandle(OsHandle handle) {
    CloseHandle(static_cast<HANDLE>(handle));
}

// ---- Named mutex ----------------------------------------------------------

OsHandle CreateNamedMutex(const char* name, bool* alreadyExisted) {
    SetLastError(ERROR_SUCCESS);  // so that a stale error can't pass for "already exists"
    HANDLE mutex = CreateMutexA(nullptr, /*bInitialOwner=*/FALSE, name);
    // An existing mutex that this process may not open gives no handle (access denied).
    *alreadyExisted = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    return mutex;
}

// ---- Module path, text and profile strings --------------------------------

std::uint32_t GetModulePath(char* buffer, std::uint32_t size) {
    DWORD written = GetModuleFileNameA(nullptr, buffer, size);
    if (written == 0) {
        buffer[0] = '\0';
    } else if (written >= size) {
        buffer[size - 1] = '\0';  // older systems leave a cut path unterminated
        return size;
    }
    return written;
}

bool IsLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

std::uint32_t ReadProfileString(const char* section, const char* key, char* destination,
                                std::uint32_t size, const char* path) {
    return GetPrivateProfileStringA(section, key, "", destination, size, path);
}

// ---- Drives ---------------------------------------------------------------

std::uint32_t ListLogicalDrives(char* buffer, std::uint32_t size) {
    return GetLogicalDriveStringsA(size, buffer);
}

bool ReadVolumeLabel(const char* root, char* label, std::uint32_t size) {
    // Serial number and file-system name are not asked for; length and flags are ignored.
    DWORD maximumComponentLength = 0;
    DWORD fileSystemFlags = 0;
    if (!GetVolumeInformationA(root, label, size, nullptr, &maximumComponentLength,
                               &fileSystemFlags, nullptr, 0)) {
        return false;
    }
    label[size - 1] = '\0';
    return true;
}

// ---- Message boxes --------------------------------------------------------

int ShowMessageBox(const char* text, const char* caption, unsigned style) {
    return MessageBoxA(nullptr, text, caption, style);
}
