/* firmware/crc32.h: the CRC-32 that guards both firmware records. */
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 with polynomial 0x04C11DB7, most significant bit first, no reflection,
// initial value and final XOR 0xFFFFFFFF ("123456789" gives 0xFC891918).
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t length);
