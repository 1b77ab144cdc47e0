/* platform/common/code_page_1252.cpp: the Western Windows code page, both ways.
 *
 * Written out rather than taken from iconv: iconv refuses the five undefined bytes that
 * Windows passes through, and the table is 32 entries. */
#include "platform/common/code_page_1252.h"

namespace {

// Bytes 0x80 to 0x9F; 0 marks the five that are undefined.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::uint32_t Cp1252ToUnicode(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) {
        return byte;  // ASCII, and Latin-1 from 0xA0 on
    }
    std::uint16_t character = kHighControls[byte - 0x80];
    return character != 0 ? character : byte;
}

int UnicodeToCp1252(std::uint32_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        return static_cast<int>(character);
    }
    for (int i = 0; i < 32; ++i) {
        std::uint32_t mapped = kHighControls[i] != 0 ? kHighControls[i] : 0x80u + i;
        if (mapped == character) {
            return 0x80 + i;
        }
    }
    return -1;
}
