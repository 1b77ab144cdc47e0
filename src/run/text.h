/* run/text.h: bounded composition of paths and texts into fixed buffers. */
#pragma once

#include <cstddef>

// Composes directory + file name ("%s%s") into `out`. False, with `out` emptied, when the
// result does not fit: a path cut short is never used.
bool ComposePath(char* out, std::size_t size, const char* directory, const char* fileName);

template <std::size_t N>
bool ComposePath(char (&out)[N], const char* directory, const char* fileName) {
    return ComposePath(out, N, directory, fileName);
}

// Length of `text` up to its first NUL, looking at no more than `limit` bytes.
std::size_t BoundedLength(const char* text, std::size_t limit);

// Bytes taken by the character at `text` in the active code page: 2 for a lead byte
// followed by its trail byte, else 1. Only a whole character can be a backslash.
std::size_t CharacterLength(const char* text);

// Composes a dialog text with a printf-style format into `out`. A text that does not fit
// is cut at the buffer's end, never inside a double-byte character.
void ComposeText(char* out, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
