/* run/text.cpp: bounded composition of paths and texts into fixed buffers. */
#include "run/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

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

std::size_t CharacterLength(const char* text) {
    return IsLeadByte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

void ComposeText(char* out, std::size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(out, size, format, arguments);
    va_end(arguments);
    if (length < 0) {
        out[0] = '\0';
        return;
    }
    if (static_cast<std::size_t>(length) < size) {
        return;
    }
    // Cut short: drop a lead byte whose trail byte fell beyond the buffer.
    std::size_t last = 0;
    for (std::size_t i = 0; out[i] != '\0'; i += CharacterLength(out + i)) {
        last = i;
    }
    if (out[last] != '\0' && out[last + 1] == '\0' &&
        IsLeadByte(static_cast<unsigned char>(out[last]))) {
        out[last] = '\0';
    }
}
