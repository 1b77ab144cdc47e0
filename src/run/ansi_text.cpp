/* run/ansi_text.cpp: text in the active code page, walked a whole character at a time. */
#include "run/ansi_text.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

std::size_t CharacterLength(const char* text) {
    return IsLeadByte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

void ComposeText(char* out, std::size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(out, size, format, arguments);
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
