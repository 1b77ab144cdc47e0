/* platform/platform.h: the operating-system operations that the updater needs.
 *
 * The portable core calls only what is declared here. The Windows build links
 * platform/windows/platform_windows.cpp; the host tests link a fake in its place.
 * All texts are 8-bit strings in the active code page. */
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

void CloseOsHandle(OsHandle handle);
