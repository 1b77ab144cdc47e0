/* platform/windows/platform_windows.cpp: the operating-system operations on Win32,
 * called through their ANSI ("A") entry points. */
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

static_assert(kBoxOk == MB_OK && kBoxYesNo == MB_YESNO && kBoxIconError == MB_ICONERROR &&
              kBoxIconQuestion == MB_ICONQUESTION && kBoxIconInformation == MB_ICONINFORMATION &&
              kBoxDefaultButton1 == MB_DEFBUTTON1);
static_assert(kAnswerOk == IDOK && kAnswerYes == IDYES && kAnswerNo == IDNO);

namespace {

OsHandle FromWin32(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : static_cast<OsHandle>(handle);
}

// Attributes that keep a file from being replaced or removed.
constexpr DWORD kBlockingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool SetAttributes(const char* path, DWORD attributes) {
    return SetFileAttributesA(path, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

// A virus scanner or an indexer opens a file that has just been written, for a moment: an
// open, a move or a delete that it blocks (or a delete of it that is still pending) is tried
// again, ten times at most, 100 ms apart.
template <typename Step>
bool RetriedWhileHeld(Step step) {
    constexpr int kTries = 10;
    constexpr DWORD kPause = 100;  // milliseconds
    for (int tried = 1;; ++tried) {
        if (step()) {
            return true;
        }
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                          error == ERROR_LOCK_VIOLATION;
        if (!held || tried == kTries) {
            return false;
        }
        Sleep(kPause);
    }
}

bool DeleteWhenFree(const char* path) {
    return RetriedWhileHeld([path] { return DeleteFileA(path) != FALSE; });
}

HANDLE OpenWhenFree(const char* path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    RetriedWhileHeld([&] {
        handle = CreateFileA(path, access, sharing, nullptr, disposition, flags, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    return handle;
}

// Whether the last step of a copy that failed did so for want of room on the volume.
bool lastFailureFull = false;

bool Failed() {
    const DWORD error = GetLastError();
    lastFailureFull = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
    return false;
}

// Opens `path` for writing (a folder too, with `flags` FILE_FLAG_BACKUP_SEMANTICS) and
// flushes it; what the file system keeps of it beside its data is written with it.
bool Flush(const char* path, DWORD flags) {
    HANDLE handle =
        OpenWhenFree(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     OPEN_EXISTING, flags);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool flushed = FlushFileBuffers(handle) != FALSE;
    return CloseHandle(handle) != FALSE && flushed;
}

// The folder that holds `path`, with its final backslash ("E:\" for "E:\update.udx").
bool FolderOf(const char* path, char* folder, std::size_t size) {
    const char* last = std::strrchr(path, '\\');
    const std::size_t length = last != nullptr ? static_cast<std::size_t>(last - path) + 1 : 0;
    if (length == 0 || length >= size) {
        return false;
    }
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    return true;
}

// The longest path that Windows knows, in UTF-16 units with the NUL.
constexpr DWORD kWidePathSize = 32768;

// Converts `wide` to the ANSI code page: the characters written without the NUL, `size`
// when they would not fit, or 0 when a character has no exact equivalent there (no "best
// fit" look-alike, no "?").
std::uint32_t ToAnsiExactly(const wchar_t* wide, char* out, std::uint32_t size) {
    BOOL lossy = FALSE;
    // A code page of UTF-8 (a system-wide option) spells every character, and takes neither
    // the flag nor the question.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL* usedDefault = utf8 ? nullptr : &lossy;
    int needed = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, usedDefault);
    if (needed <= 0 || lossy) {
        return 0;
    }
    if (static_cast<std::uint32_t>(needed) > size) {
        return size;
    }
    WideCharToMultiByte(CP_ACP, flags, wide, -1, out, static_cast<int>(size), nullptr, nullptr);
    return static_cast<std::uint32_t>(needed - 1);
}

}  // namespace

// ---- Files ----------------------------------------------------------------

OsHandle OpenFileForReading(const char* path) {
    return FromWin32(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_ARCHIVE, nullptr));
}

bool ReadChunk(OsHandle file, void* buffer, std::uint32_t size, std::uint32_t* delivered) {
    DWORD count = 0;
    BOOL read = ReadFile(static_cast<HANDLE>(file), buffer, size, &count, nullptr);
    *delivered = count <= size ? count : 0;
    return read != FALSE && count <= size;
}

// Only the count delivered matters to the caller, not the call's own success report.
std::uint32_t ReadFileOnce(OsHandle file, void* buffer, std::uint32_t size) {
    std::uint32_t delivered = 0;
    ReadChunk(file, buffer, size, &delivered);
    return delivered;
}

void CloseOsHandle(OsHandle handle) {
    CloseHandle(static_cast<HANDLE>(handle));
}

std::uint64_t SizeOfFile(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// ---- Files written onto the device ----------------------------------------

// Clears the attributes of the file at `path` that keep it from being replaced or removed;
// returns its attributes as they were when it cleared any, else INVALID_FILE_ATTRIBUTES.
DWORD ClearBlockingAttributes(const char* path) {
    DWORD existing = GetFileAttributesA(path);
    const bool blocked = existing != INVALID_FILE_ATTRIBUTES &&
                         (existing & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                         (existing & kBlockingAttributes) != 0;
    return blocked && SetAttributes(path, existing & ~kBlockingAttributes)
               ? existing
               : INVALID_FILE_ATTRIBUTES;
}

// Runs `step`, which replaces or removes the file at `path`, with the attributes that would
// keep it from doing so cleared; gives them back if the step fails.
template <typename Step>
bool WithBlockingAttributesCleared(const char* path, Step step) {
    const DWORD cleared = ClearBlockingAttributes(path);
    if (step()) {
        return true;
    }
    if (cleared != INVALID_FILE_ATTRIBUTES) {
        SetAttributes(path, cleared);
    }
    return false;
}

// Flushes the volume's root folder that holds `path`: on FAT that writes the FAT itself.
bool FlushRootFolderOf(const char* path) {
    char folder[MAX_PATH];
    return FolderOf(path, folder, sizeof folder) && Flush(folder, FILE_FLAG_BACKUP_SEMANTICS);
}

// A leftover of an interrupted copy goes first, whatever its attributes; CREATE_NEW then
// never opens an existing file or link. Written through: on a drive set up for performance
// rather than quick removal, Windows would keep the writes back, the progress would run
// ahead of the device, and the final flush would hold the window for as long.
OsHandle CreateNewFile(const char* path) {
    ClearBlockingAttributes(path);
    DeleteWhenFree(path);  // if it fails, CREATE_NEW below fails too
    HANDLE file = OpenWhenFree(path, GENERIC_WRITE, 0, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
    if (file == INVALID_HANDLE_VALUE) {
        Failed();
    }
    return FromWin32(file);
}

// A write that fills the volume may take part of the bytes and report success (Wine does);
// the rest is written again, so that the want of room is reported by the write that finds it.
bool WriteWholly(OsHandle file, const void* bytes, std::uint32_t size) {
    const char* next = static_cast<const char*>(bytes);
    for (std::uint32_t left = size; left > 0;) {
        DWORD written = 0;
        if (WriteFile(static_cast<HANDLE>(file), next, left, &written, nullptr) == FALSE) {
            return Failed();
        }
        if (written == 0 || written > left) {
            SetLastError(ERROR_WRITE_FAULT);  // no cause given: not a want of room
            return Failed();
        }
        next += written;
        left -= written;
    }
    return true;
}

bool FlushAndClose(OsHandle file) {
    bool flushed = FlushFileBuffers(static_cast<HANDLE>(file)) != FALSE || Failed();
    return CloseHandle(static_cast<HANDLE>(file)) != FALSE && flushed;
}

// A fresh handle that bypasses the system's cache: reads come from the medium, in whole
// sectors into aligned buffers.
OsHandle OpenFileOnMedium(const char* path) {
    return FromWin32(
        OpenWhenFree(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING));
}

// MoveFileEx refuses to replace a read-only, hidden or system file, so those attributes of a
// file already there are cleared first, and given back if the move fails. The new file was
// created writable and stays so. Called only after the user answered Yes. Not ReplaceFile:
// it can move the old file away before the new one is in place.
//
// The move is on the device only when flushed: the FAT driver writes a file's folder entry
// when the file is flushed, and the FAT itself when the volume's root folder is (which needs
// no administrator's rights, as a flush of the volume would). Without these, a stick set up
// for performance keeps the move in the cache after the finished notice.
bool PutFileInPlace(const char* temporary, const char* destination) {
    const bool moved = WithBlockingAttributesCleared(destination, [temporary, destination] {
        return RetriedWhileHeld([temporary, destination] {
            return MoveFileExA(temporary, destination,
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        });
    });
    return moved && Flush(destination, 0) && FlushRootFolderOf(destination);
}

bool RemoveFile(const char* path) {
    return DeleteWhenFree(path);
}

// DeleteFile refuses a read-only file, as MoveFileEx does. The FAT, where the removed file's
// clusters are freed, is written when the root folder is flushed.
bool RemoveFileFromMedium(const char* path) {
    return WithBlockingAttributesCleared(path, [path] { return DeleteWhenFree(path); }) &&
           FlushRootFolderOf(path);
}

bool LastFailureWasFull() {
    return lastFailureFull;
}

bool ReadFreeSpace(const char* root, std::uint64_t* freeBytes, std::uint32_t* clusterBytes) {
    ULARGE_INTEGER freeToCaller;
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (!GetDiskFreeSpaceExA(root, &freeToCaller, nullptr, nullptr) ||
        !GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        return false;
    }
    *freeBytes = freeToCaller.QuadPart;
    *clusterBytes = sectorsPerCluster * bytesPerSector;
    return true;
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

// GetModuleFileNameA replaces a character that the ANSI code page can't spell with "?",
// or where Windows has a "best fit" with a look-alike, which may name another folder: a
// program in "Drāvon Tools" would read the files of a folder "Dravon Tools" beside it. So
// the wide path is taken, converted only when that is exact; else its short (8.3) form,
// which is ASCII, when that converts exactly; else nothing, and the run ends with code 0x00.
std::uint32_t GetModulePath(char* buffer, std::uint32_t size) {
    static wchar_t longPath[kWidePathSize];
    buffer[0] = '\0';
    DWORD length = GetModuleFileNameW(nullptr, longPath, kWidePathSize);
    if (length == 0) {
        return 0;
    }
    if (length >= kWidePathSize) {
        return size;  // cut
    }
    std::uint32_t written = ToAnsiExactly(longPath, buffer, size);
    if (written == 0) {
        static wchar_t shortPath[kWidePathSize];
        DWORD shortLength = GetShortPathNameW(longPath, shortPath, kWidePathSize);
        if (shortLength > 0 && shortLength < kWidePathSize) {
            written = ToAnsiExactly(shortPath, buffer, size);
        }
    }
    if (written == 0 || written >= size) {
        buffer[0] = '\0';  // never a path cut short or spelt with look-alikes
    }
    return written;
}

bool IsLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

char PathSeparator() {
    return '\\';
}

std::uint32_t ReadProfileString(const char* section, const char* key, char* destination,
                                std::uint32_t size, const char* path) {
    return GetPrivateProfileStringA(section, key, "", destination, size, path);
}

// ---- Drives ---------------------------------------------------------------

std::uint32_t ListLogicalDrives(char* buffer, std::uint32_t size) {
    return GetLogicalDriveStringsA(size, buffer);
}

bool IsVolumeRoot(const char* entry) {
    return std::strlen(entry) == 3;  // "E:\"
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

bool ReadVolumeSerial(const char* root, char* serial, std::uint32_t size) {
    DWORD number = 0;
    if (!GetVolumeInformationA(root, nullptr, 0, &number, nullptr, nullptr, nullptr, 0)) {
        return false;
    }
    const int length = std::snprintf(serial, size, "%04lX-%04lX", number >> 16, number & 0xFFFF);
    return length > 0 && static_cast<std::uint32_t>(length) < size;
}

// ---- Message boxes --------------------------------------------------------

int ShowMessageBox(const char* text, const char* caption, unsigned style) {
    return MessageBoxA(nullptr, text, caption, style);
}
