/* run/text.cpp: bounded composition of paths and texts into fixed buffers. */
#include "run/text.h"

#include <cstdio>
#include <cstring>

bool ComposePath(char* out, std::size_t size, const char* directory, const char* fileName) {
    int length = std::snprintf(out, size, "%s%s", directory, fileName);
    if (length < 0 || static_cast<std::size_t>(length) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

std::size_t BoundedLength(const char* text, std::size_t limit) {
    const void* nul = std::memchr(text, '\0', limit);
    return nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : limit;
}
