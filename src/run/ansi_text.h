/* run/ansi_text.h: text in the active code page, walked a whole character at a time. */
#pragma once

#include <cstddef>

// Bytes taken by the character at `text` in the active code page: 2 for a lead byte
// followed by its trail byte, else 1. Only a whole character can be a backslash.
std::size_t CharacterLength(const char* text);

// Composes a dialog text with a printf-style format into `out`. A text that does not fit
// is cut at the buffer's end, never inside a double-byte character.
void ComposeText(char* out, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
