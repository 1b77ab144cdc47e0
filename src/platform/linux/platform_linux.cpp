/* platform/linux/platform_linux.cpp: the operating-system operations on Linux: files, the
 * module path, profile strings and the single-instance lock. Volumes, copies and dialogs
 * have files of their own beside this one. */
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/common/profile_file.h"
#include "platform/linux/descriptors.h"
#include "platform/platform.h"

// ---- Files ----------------------------------------------------------------

OsHandle OpenFileForReading(const char* path) {
    // Not blocking, so that a FIFO of that name can't hang the run; and only a regular file,
    // as on Windows, where a folder can't be opened this way.
    int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat status {};
    if (descriptor >= 0 && (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(descriptor);
        descriptor = -1;
    }
    return HandleOf(descriptor);
}

// Like ReadFile on a disk file: all that was asked for, unless the file ends first. A read
// past the cache (O_DIRECT) is short only at the end of the file, where a further read would
// start unaligned and be refused: there the first short read is the end.
bool ReadChunk(OsHandle file, void* buffer, std::uint32_t size, std::uint32_t* delivered) {
    *delivered = 0;
    const bool direct = (fcntl(DescriptorOf(file), F_GETFL) & O_DIRECT) != 0;
    for (bool ended = false; !ended && *delivered < size;) {
        ssize_t count =
            read(DescriptorOf(file), static_cast<char*>(buffer) + *delivered, size - *delivered);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        ended = count == 0 || (direct && static_cast<std::uint32_t>(count) < size - *delivered);
        *delivered += static_cast<std::uint32_t>(count);
    }
    return true;
}

std::uint32_t ReadFileOnce(OsHandle file, void* buffer, std::uint32_t size) {
    std::uint32_t delivered = 0;
    ReadChunk(file, buffer, size, &delivered);
    return delivered;
}

void CloseOsHandle(OsHandle handle) {
    close(DescriptorOf(handle));
}

std::uint64_t SizeOfFile(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

// ---- Single instance ------------------------------------------------------

namespace {

// A folder for the lock: $XDG_RUNTIME_DIR, which is the user's own, or else a folder of the
// user's in /tmp, made for it, and used only when it is a real folder (not a link) that
// belongs to the user and to nobody else.
bool LockFolder(std::string* folder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        *folder = runtime;
        return true;
    }
    *folder = "/tmp/dravon-updater-" + std::to_string(getuid());
    if (mkdir(folder->c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat status {};
    return lstat(folder->c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == getuid() && (status.st_mode & 077) == 0;
}

}  // namespace

// An exclusive lock on NAME.lock, per user as the Windows mutex is per session; the system
// releases it when the process ends. A lock that can't be had for another reason than
// another instance counts as no other instance, as an inaccessible mutex does on Windows.
OsHandle CreateNamedMutex(const char* name, bool* alreadyExisted) {
    *alreadyExisted = false;
    std::string folder;
    if (!LockFolder(&folder)) {
        return nullptr;
    }
    std::string path = folder + "/" + name + ".lock";
    int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat status {};
    if (descriptor < 0) {
        return nullptr;
    }
    if (fstat(descriptor, &status) != 0 || status.st_uid != getuid() || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return nullptr;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        *alreadyExisted = errno == EWOULDBLOCK;
        if (!*alreadyExisted) {
            close(descriptor);
            return nullptr;
        }
    }
    return HandleOf(descriptor);
}

// ---- Module path, text and profile strings --------------------------------

std::uint32_t GetModulePath(char* buffer, std::uint32_t size) {
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    if (static_cast<std::uint32_t>(length) >= size) {
        buffer[0] = '\0';  // cut: no usable path
        return size;
    }
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

// Linux text is bytes; no character takes two of them in the sense of Windows's code pages.
bool IsLeadByte(unsigned char) {
    return false;
}

char PathSeparator() {
    return '/';
}

// UPDATE.INI read by the rules of the Windows profile functions, so that a bundle reads
// the same on both systems.
std::uint32_t ReadProfileString(const char* section, const char* key, char* destination,
                                std::uint32_t size, const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    // A file that can't be read reads as empty, as an absent one does on Windows.
    std::string value = ParseIni(DecodeProfileFile(bytes).text).Find(section, key).value_or("");
    std::size_t copied = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(destination, value.data(), copied);
    destination[copied] = '\0';
    return static_cast<std::uint32_t>(copied);
}
