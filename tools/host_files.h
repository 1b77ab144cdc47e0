/* tools/host_files.h: what dravon-pack needs of the file system beyond the C library, on the
 * system that it runs on (host_files_posix.cpp or host_files_windows.cpp, chosen by CMake). */
#pragma once

#include <cstdio>
#include <optional>
#include <string>

// Flushes `file` to the disk and closes it; false when either fails.
bool FlushAndClose(std::FILE* file);

// Moves `temporary` over `target`, which may exist: `target` is replaced whole or not at all.
bool ReplaceWith(const std::string& temporary, const std::string& target);

// The attributes that Windows passes on to a copy of a file.
struct FileAttributes {
    bool readOnly;
    bool hidden;
};

// Nothing when the file can't be examined.
std::optional<FileAttributes> ReadAttributes(const std::string& path);
