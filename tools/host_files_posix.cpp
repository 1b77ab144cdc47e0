/* tools/host_files_posix.cpp: dravon-pack's file operations on Linux. */
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "tools/host_files.h"

bool FlushAndClose(std::FILE* file) {
    bool flushed = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    return std::fclose(file) == 0 && flushed;
}

bool ReplaceWith(const std::string& temporary, const std::string& target) {
    return std::rename(temporary.c_str(), target.c_str()) == 0;
}

std::optional<FileAttributes> ReadAttributes(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    // Read-only as Wine and Samba map it: no write permission for the owner.
    FileAttributes attributes = {(status.st_mode & S_IWUSR) == 0, false};
    // Hidden exists only on FAT, where the kernel's driver tells it.
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint32_t fat = 0;
    if (descriptor >= 0 && ioctl(descriptor, FAT_IOCTL_GET_ATTRIBUTES, &fat) == 0) {
        attributes.readOnly = attributes.readOnly || (fat & ATTR_RO) != 0;
        attributes.hidden = (fat & ATTR_HIDDEN) != 0;
    }
    if (descriptor >= 0) {
        close(descriptor);
    }
    return attributes;
}
