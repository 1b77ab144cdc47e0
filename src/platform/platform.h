/* platform/platform.h: the operating-system operations that the updater needs.
 *
 * The portable core calls only what is declared here. The Windows build links
 * platform/windows/, the Linux build platform/linux/; the host tests link a fake in their
 * place. All texts are 8-bit strings: in the active code page on Windows, bytes on Linux. */
#pragma once

#include <cstdint>

// An open file or mutex; nullptr stands for none.
using OsHandle = void*;

// ---- Files ----------------------------------------------------------------

// Opens an existing file for reading only, letting others read and write it meanwhile.
OsHandle OpenFileForReading(const char* path);

// One read request from the current position; returns the count of bytes delivered
// (0 when the read fails), never more than `size`.
std::uint32_t ReadFileOnce(OsHandle file, void* buffer, std::uint32_t size);

// One read request like ReadFileOnce, but telling a failure from the end of the file:
// false when the read failed; else `*delivered` bytes arrived, fewer than `size` only at the
// end of the file.
bool ReadChunk(OsHandle file, void* buffer, std::uint32_t size, std::uint32_t* delivered);

void CloseOsHandle(OsHandle handle);

// The size in bytes of the file at `path`; 0 when it can't be had.
std::uint64_t SizeOfFile(const char* path);

// ---- Files written onto the device ----------------------------------------
// A package file reaches the device in the same steps on every system: into a new file at a
// temporary name, flushed to the medium, read back from the medium and compared, and only
// then put in place of the old file.

// Reads through a handle from OpenFileOnMedium take a buffer aligned to this many bytes and
// a size that is a multiple of it: reads that pass the system's cache take whole sectors.
inline constexpr std::uint32_t kMediumAlignment = 4096;

// Removes whatever lies at `path` (a file that an interrupted copy left, or a link), then
// creates a new, empty, writable file there for writing: never through an existing file or
// a link. nullptr when it can't be created.
OsHandle CreateNewFile(const char* path);

// Writes all of `size` bytes at the current position, and sends them on to the medium where
// the system would hold them back; false when any of them was not written, a short write
// among them.
bool WriteWholly(OsHandle file, const void* bytes, std::uint32_t size);

// Flushes what was written through `file` to the medium, then closes it whatever the
// outcome. True only when both succeeded: a close can report a write that failed late. A
// failed flush is never tried again, as the data that it covered may already be lost.
bool FlushAndClose(OsHandle file);

// Opens an existing file for reading what the medium holds, not what the system's cache
// keeps of it.
OsHandle OpenFileOnMedium(const char* path);

// Puts the file at `temporary` in place of `destination`, replacing a file there (also a
// read-only, hidden or system one), in one step that is on the medium when this returns
// true. When it returns false before the step, the old file is left as it was.
bool PutFileInPlace(const char* temporary, const char* destination);

// Removes the file at `path`; false when it can't.
bool RemoveFile(const char* path);

// Removes the file at `path` and flushes its folder, so that the removal, and the room that
// the file took, are on the medium; false when it can't be removed (nothing is flushed then)
// or the flush failed.
bool RemoveFileFromMedium(const char* path);

// Whether the last CreateNewFile, WriteWholly or FlushAndClose that failed did so for want
// of room on the volume.
bool LastFailureWasFull();

// The bytes free to this user on the volume at `root`, and the size of its clusters, the
// unit in which a file takes room; false when they can't be had.
bool ReadFreeSpace(const char* root, std::uint64_t* freeBytes, std::uint32_t* clusterBytes);

// ---- Named mutex ----------------------------------------------------------

// Creates the named mutex, not owned, or opens it when it exists. Returns nullptr when it
// can be neither created nor opened (no access to an existing one, say); `alreadyExisted`
// tells whether a mutex of that name existed before and was opened.
OsHandle CreateNamedMutex(const char* name, bool* alreadyExisted);

// ---- Module path, text and profile strings --------------------------------

// Writes the running executable's full path, NUL-terminated. Returns the number of
// characters written without the NUL, or `size` when the path did not fit (the buffer then
// holds no usable path), or 0 when there is no path to give, one that the active code page
// can spell exactly among them.
std::uint32_t GetModulePath(char* buffer, std::uint32_t size);

// Whether `byte` starts a double-byte character in the active code page.
bool IsLeadByte(unsigned char byte);

// The character that separates the folders of a path: a backslash on Windows, "/" on Linux.
char PathSeparator();

// Reads a value from a profile (INI) file with the default "". Returns the number of
// characters copied without the NUL (at most `size` - 1); 0 when the file, section or key
// is absent or the value is empty, and then `destination` holds "".
std::uint32_t ReadProfileString(const char* section, const char* key, char* destination,
                                std::uint32_t size, const char* path);

// ---- Drives ---------------------------------------------------------------

// Fills `buffer` with the roots of all logical drives ("C:\", NUL, "E:\", NUL, ..., NUL).
// Returns the characters written without the final NUL, 0 on failure, or the size needed
// (larger than `size`) when the list did not fit, in which case nothing was written.
std::uint32_t ListLogicalDrives(char* buffer, std::uint32_t size);

// Whether `entry` of the drive list has the form of a volume's root on this system: a drive
// root of three characters such as E:\ on Windows, an absolute folder ending in "/" on Linux.
bool IsVolumeRoot(const char* entry);

// Reads the volume label of the drive at `root` into `label` (NUL-terminated); false when
// the volume's information can't be read. Only the first reading after a listing may come
// from what the listing read; any later one reads the volume now at `root`.
bool ReadVolumeLabel(const char* root, char* label, std::uint32_t size);

// Reads the serial number of the volume now at `root`, as text (NUL-terminated), which tells
// it from another volume of the same label at the same root; false when the volume has none
// that can be read (a file system without a block device, say).
bool ReadVolumeSerial(const char* root, char* serial, std::uint32_t size);

// ---- Message boxes --------------------------------------------------------

// Style bits and answers, with the values that the Windows message box uses.
inline constexpr unsigned kBoxOk = 0x00000000;
inline constexpr unsigned kBoxYesNo = 0x00000004;
inline constexpr unsigned kBoxIconError = 0x00000010;
inline constexpr unsigned kBoxIconQuestion = 0x00000020;
inline constexpr unsigned kBoxIconInformation = 0x00000040;
inline constexpr unsigned kBoxDefaultButton1 = 0x00000000;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Shows a modal message box with no owner window; returns the button pressed, or 0 when
// the box could not be shown.
int ShowMessageBox(const char* text, const char* caption, unsigned style);

// ---- Progress -------------------------------------------------------------
// The copy onto the device shows its progress from Yes until it ends: a window captioned
// like the message boxes, with a progress bar and the name of the file in work (without a
// display, a line on a terminal).

// Runs `copy` and returns what it returned, showing the progress meanwhile, from 0; the
// progress is gone when this returns, before the next message box. The platform chooses the
// thread that copies: the window answers at all times, also while a write blocks for
// seconds, and can't be closed (a copy is never left halfway).
bool CopyShowingProgress(const char* caption, bool (*copy)());

// Called by the copy between chunks: `done` of `total` bytes are written or read back,
// `fileName` being in work. It only publishes them, whatever thread the copy runs on, for
// the progress to show; `fileName` must stay valid until the copy returns.
void AdvanceProgress(std::uint64_t done, std::uint64_t total, const char* fileName);
