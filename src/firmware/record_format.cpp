/* firmware/record_format.cpp: decoding and encoding the two firmware records. */
#include "firmware/record_format.h"

#include <cstring>

#include "firmware/crc32.h"
#include "run/text.h"

namespace {

std::uint32_t ReadBigEndian(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

void WriteBigEndian(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

}  // namespace

std::uint32_t StoredCrc(const std::uint8_t* record) {
    return ReadBigEndian(record + kCrcOffset);
}

std::uint32_t ComputedCrc(const std::uint8_t* record, const RecordLayout& layout) {
    return Crc32(record + kCoveredOffset, layout.size - kCoveredOffset);
}

FirmwareIdentity DecodeIdentity(const std::uint8_t* record, const RecordLayout& layout) {
    FirmwareIdentity identity = {};
    identity.region = ReadBigEndian(record + layout.regionOffset);
    identity.model = ReadBigEndian(record + layout.modelOffset);
    // The text ends at the field's first NUL; a field without one is a 12-character text.
    const auto* field = reinterpret_cast<const char*>(record + layout.versionOffset);
    std::memcpy(identity.version, field, BoundedLength(field, kVersionFieldSize));
    return identity;
}

void StoreRegion(std::uint8_t* record, const RecordLayout& layout, std::uint32_t region) {
    WriteBigEndian(record + layout.regionOffset, region);
}

void StoreModel(std::uint8_t* record, const RecordLayout& layout, std::uint32_t model) {
    WriteBigEndian(record + layout.modelOffset, model);
}

bool StoreVersion(std::uint8_t* record, const RecordLayout& layout, const char* version) {
    std::size_t versionLength = BoundedLength(version, kVersionFieldSize + 1);
    if (versionLength > kVersionFieldSize) {
        return false;
    }
    std::memset(record + layout.versionOffset, 0, kVersionFieldSize);
    std::memcpy(record + layout.versionOffset, version, versionLength);
    return true;
}

bool EncodeRecord(std::uint8_t* record, const RecordLayout& layout, std::uint32_t region,
                  std::uint32_t model, const char* version) {
    if (!StoreVersion(record, layout, version)) {
        return false;
    }
    StoreRegion(record, layout, region);
    StoreModel(record, layout, model);
    SealRecord(record, layout);
    return true;
}

void SealRecord(std::uint8_t* record, const RecordLayout& layout) {
    WriteBigEndian(record + kCrcOffset, ComputedCrc(record, layout));
}
