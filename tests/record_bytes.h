/* tests/record_bytes.h: firmware records for the tests, laid out byte by byte without the
 * updater's own encoder, so that an offset or byte-order mistake made alike in writing and
 * reading can't pass: each field is placed by hand at its documented offset, most
 * significant byte first, and the CRC comes from a bitwise routine of the tests' own.
 *
 *   version.dat (28 bytes)    CRC 4..7 over 8..27, region 8..11, model 12..15, version 16..27
 *   update.udx header (512)   CRC 4..7 over 8..511, version 77..88, region 332..335,
 *                             model 336..339 */
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace record_bytes {

using Bytes = std::vector<std::uint8_t>;

// CRC-32 of polynomial 0x04C11DB7, most significant bit first, no reflection, initial value
// and final XOR 0xFFFFFFFF, one bit at a time.
constexpr std::uint32_t BitwiseCrc32(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= std::uint32_t{bytes[i]} << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    return ~crc;
}

constexpr std::uint8_t kCheckInput[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
static_assert(BitwiseCrc32(kCheckInput, sizeof kCheckInput) == 0xFC891918u,
              "the published check value of these CRC parameters");

struct Layout {
    std::size_t size;  // the record's bytes; the CRC covers 8 to size - 1
    std::size_t region;
    std::size_t model;
    std::size_t version;
};
inline constexpr Layout kDevice = {28, 8, 12, 16};
inline constexpr Layout kPackage = {512, 332, 336, 77};

inline void PutBigEndian(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

// Writes the CRC of bytes 8 to `end` - 1 at bytes 4 to 7.
inline void Seal(Bytes& bytes, std::size_t end) {
    PutBigEndian(bytes, 4, BitwiseCrc32(bytes.data() + 8, end - 8));
}

// A sealed record; the version (at most 12 bytes) is NUL-padded; `fill` is every byte that
// the updater does not examine.
inline Bytes Record(const Layout& layout, std::uint32_t region, std::uint32_t model,
                    const std::string& version, std::uint8_t fill = 0) {
    Bytes bytes(layout.size, fill);
    PutBigEndian(bytes, layout.region, region);
    PutBigEndian(bytes, layout.model, model);
    for (std::size_t i = 0; i < 12; ++i) {
        bytes[layout.version + i] =
            i < version.size() ? static_cast<std::uint8_t>(version[i]) : std::uint8_t{0};
    }
    Seal(bytes, layout.size);
    return bytes;
}

inline Bytes DeviceRecord(std::uint32_t region, std::uint32_t model, const std::string& version) {
    return Record(kDevice, region, model, version);
}

inline Bytes PackageHeader(std::uint32_t region, std::uint32_t model, const std::string& version) {
    return Record(kPackage, region, model, version);
}

inline std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace record_bytes
