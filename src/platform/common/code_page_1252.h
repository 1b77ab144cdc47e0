/* platform/common/code_page_1252.h: the Western Windows code page, both ways, for the
 * platforms and tools that have no Windows to convert for them. */
#pragma once

#include <cstdint>

// The character that byte `byte` stands for. The five bytes that the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same
// value, as Windows converts them.
std::uint32_t Cp1252ToUnicode(unsigned char byte);

// The byte for `character`, or -1 when the code page has none.
int UnicodeToCp1252(std::uint32_t character);
