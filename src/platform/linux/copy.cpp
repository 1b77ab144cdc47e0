/* platform/linux/copy.cpp: a file copied onto the device durably and whole.
 *
 * Linux returns from writes long before the data reaches a USB stick, and a tool that
 * reports success then may see the stick pulled with half a file on it. So the copy goes to
 * a temporary file in the device's folder, is flushed to the device, and only then renamed
 * over the old file; the folder is flushed too, and only then is the copy reported done.
 * Any failure, a full volume among them, removes the temporary file: an existing file is
 * only ever replaced whole. */
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// Writes all of `size` bytes, or fails.
bool WriteAll(int descriptor, const char* bytes, std::size_t size) {
    while (size > 0) {
        ssize_t written = write(descriptor, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Plain reads and writes, for where copy_file_range can't (it fails across file systems).
bool CopyByReading(int source, int destination) {
    static char chunk[1 << 20];
    for (;;) {
        ssize_t count = read(source, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return count == 0;
        }
        if (!WriteAll(destination, chunk, static_cast<std::size_t>(count))) {
            return false;
        }
    }
}

bool CopyContents(int source, int destination) {
    bool started = false;
    for (;;) {
        ssize_t count = copy_file_range(source, nullptr, destination, nullptr, 1 << 30, 0);
        if (count == 0) {
            return true;
        }
        if (count > 0) {
            started = true;
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        const bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                 errno == EOPNOTSUPP || errno == EBADF;
        return !started && unsupported && CopyByReading(source, destination);
    }
}

// Flushes the folder that holds `path`, so that the rename is on the device too.
bool FlushFolderOf(const char* path) {
    char folder[PATH_MAX];
    int length = std::snprintf(folder, sizeof folder, "%s", path);
    char* last = std::strrchr(folder, '/');
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof folder || last == nullptr) {
        return false;
    }
    last[last == folder ? 1 : 0] = '\0';
    int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    bool flushed = fsync(descriptor) == 0;
    close(descriptor);
    return flushed;
}

}  // namespace

bool CopyFileReplacing(const char* source, const char* destination) {
    char temporary[PATH_MAX];
    int length = std::snprintf(temporary, sizeof temporary, "%s.partial", destination);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof temporary) {
        return false;
    }
    int input = open(source, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat status {};
    if (input < 0 || fstat(input, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (input >= 0) {
            close(input);
        }
        return false;
    }
    int output = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (output < 0) {
        close(input);
        return false;
    }
    bool copied = CopyContents(input, output) && fsync(output) == 0;
    copied = close(output) == 0 && copied;
    close(input);
    if (!copied || std::rename(temporary, destination) != 0) {
        unlink(temporary);
        return false;
    }
    return FlushFolderOf(destination);
}
