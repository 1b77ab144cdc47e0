/* firmware/crc32.cpp: table-driven CRC-32, a byte at a time. */
#include "firmware/crc32.h"

#include <array>

namespace {

constexpr std::uint32_t kPolynomial = 0x04C11DB7;

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t index = 0; index < 256; ++index) {
        std::uint32_t value = index << 24;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
        }
        table[index] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();
static_assert(kTable[1] == kPolynomial);

}  // namespace

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc = (crc << 8) ^ kTable[((crc >> 24) ^ bytes[i]) & 0xFFu];
    }
    return crc ^ 0xFFFFFFFFu;
}
