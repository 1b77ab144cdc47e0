/* tools/host_files_windows.cpp: dravon-pack's file operations on Windows. */
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "tools/host_files.h"

bool FlushAndClose(std::FILE* file) {
    bool flushed = std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
    return std::fclose(file) == 0 && flushed;
}

// The C runtime's rename refuses an existing target; the system's move replaces it.
bool ReplaceWith(const std::string& temporary, const std::string& target) {
    return MoveFileExA(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::optional<FileAttributes> ReadAttributes(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    return FileAttributes{(attributes & FILE_ATTRIBUTE_READONLY) != 0,
                          (attributes & FILE_ATTRIBUTE_HIDDEN) != 0};
}
