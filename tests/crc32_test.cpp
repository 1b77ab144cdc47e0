#include "firmware/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// The checksum bit by bit, straight from its definition, to hold the table against.
std::uint32_t BitwiseCrc32(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= std::uint32_t{bytes[i]} << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    return ~crc;
}

TEST(Crc32, PublishedCheckValue) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(digits), std::strlen(digits)),
              0xFC891918u);
}

TEST(Crc32, MatchesBitwiseDefinitionOnRandomData) {
    std::mt19937 random(1234);
    for (std::size_t length : {1u, 2u, 20u, 504u, 1000u}) {
        std::vector<std::uint8_t> data(length);
        for (auto& byte : data) {
            byte = static_cast<std::uint8_t>(random());
        }
        EXPECT_EQ(Crc32(data.data(), length), BitwiseCrc32(data.data(), length)) << length;
    }
}

}  // namespace
