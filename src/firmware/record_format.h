/* firmware/record_format.h: the device's version record (version.dat) and the package
 * header (the first 512 bytes of update.udx).
 *
 * Both begin with four unexamined bytes and a big-endian CRC-32 at bytes 4 to 7 that
 * covers every byte from 8 to the record's end. Their fields lie at different places:
 *
 *   version.dat (28 bytes)    region 8..11, model 12..15, version 16..27
 *   update.udx (512 bytes)    version 77..88, region 332..335, model 336..339
 *
 * All integers are big-endian; a version field is 12 bytes, NUL-padded. */
#pragma once

#include <cstddef>
#include <cstdint>

#include "run/run_state.h"

struct RecordLayout {
    std::size_t size;  // bytes read from the file and covered up to by the CRC
    std::size_t regionOffset;
    std::size_t modelOffset;
    std::size_t versionOffset;
};

inline constexpr std::size_t kCrcOffset = 4;
inline constexpr std::size_t kCoveredOffset = 8;
inline constexpr RecordLayout kDeviceRecord = {28, 8, 12, 16};
inline constexpr RecordLayout kPackageHeader = {512, 332, 336, 77};

// Decoding and encoding a record held in memory (layout.size bytes).

std::uint32_t StoredCrc(const std::uint8_t* record);
std::uint32_t ComputedCrc(const std::uint8_t* record, const RecordLayout& layout);
FirmwareIdentity DecodeIdentity(const std::uint8_t* record, const RecordLayout& layout);

// Each writes one field into `record`, leaving every other byte as it is. The version
// (NUL-padded to the field) is refused, with nothing written, when longer than 12 bytes.
void StoreRegion(std::uint8_t* record, const RecordLayout& layout, std::uint32_t region);
void StoreModel(std::uint8_t* record, const RecordLayout& layout, std::uint32_t model);
bool StoreVersion(std::uint8_t* record, const RecordLayout& layout, const char* version);

// Writes region, model and version into `record` (other bytes as they are) and then the
// CRC over bytes 8 to the end. False, with nothing written, when the version text is
// longer than the 12-byte field.
bool EncodeRecord(std::uint8_t* record, const RecordLayout& layout, std::uint32_t region,
                  std::uint32_t model, const char* version);

// Recomputes and stores the CRC over bytes 8 to the end.
void SealRecord(std::uint8_t* record, const RecordLayout& layout);
