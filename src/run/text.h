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
