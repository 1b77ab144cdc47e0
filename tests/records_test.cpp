#include "firmware/records.h"

#include <gtest/gtest.h>

#include <cstring>

#include "records_fixture.h"

namespace {

// The device record and the package header differ only in layout, file and codes, so
// each reading test runs over both.
struct RecordCase {
    const char* name;
    const record_bytes::Layout& layout;
    const std::string& path;
    CheckResult (*read)();
    const FirmwareIdentity& stored;
    CheckResult unopenable, shortRead, corrupt;
};

const RecordCase kCases[] = {
    {"device", record_bytes::kDevice, kDevicePath, ReadDeviceIdentity, State.DeviceIdentity,
     CheckResult::DeviceRecordUnopenable, CheckResult::DeviceRecordShort,
     CheckResult::DeviceRecordCorrupt},
    {"package", record_bytes::kPackage, kPackagePath, ReadPackageIdentity, State.PackageIdentity,
     CheckResult::PackageHeaderUnopenable, CheckResult::PackageHeaderShort,
     CheckResult::PackageHeaderCorrupt},
};

void PrintTo(const RecordCase& c, std::ostream* os) {
    *os << c.name;
}

class RecordReading : public RecordsTest, public ::testing::WithParamInterface<RecordCase> {
  protected:
    const RecordCase& c = GetParam();
    Bytes Valid() const { return record_bytes::Record(c.layout, 0x01020304, 0xA0B0C0D0, "1.02b"); }
    void ExpectNothingStored() const {
        EXPECT_EQ(c.stored.region, 0u);
        EXPECT_EQ(c.stored.model, 0u);
        EXPECT_STREQ(c.stored.version, "");
    }
};

TEST_P(RecordReading, ValidRecordStoresItsIdentity) {
    FakeFiles_Put(c.path, Valid());
    EXPECT_EQ(c.read(), CheckResult::Offer);
    EXPECT_EQ(c.stored.region, 0x01020304u);
    EXPECT_EQ(c.stored.model, 0xA0B0C0D0u);
    EXPECT_STREQ(c.stored.version, "1.02b");
}

TEST_P(RecordReading, MissingOrLockedFileCannotBeOpened) {
    EXPECT_EQ(c.read(), c.unopenable);
    FakeFiles_Put(c.path, Valid());
    FakeFiles_RefuseOpen(c.path);
    EXPECT_EQ(c.read(), c.unopenable);
    ExpectNothingStored();
}

TEST_P(RecordReading, FewerBytesThanTheRecordAreShort) {
    Bytes record = Valid();
    record.pop_back();
    FakeFiles_Put(c.path, record);
    EXPECT_EQ(c.read(), c.shortRead);

    FakeFiles_Put(c.path, {});
    EXPECT_EQ(c.read(), c.shortRead);

    // A full-length file whose single read delivers less is short too.
    FakeFiles_Put(c.path, Valid());
    FakeFiles_LimitRead(c.path, static_cast<std::uint32_t>(c.layout.size - 1));
    EXPECT_EQ(c.read(), c.shortRead);
    ExpectNothingStored();
}

TEST_P(RecordReading, ShortFileIsRefusedEvenWhenItsCrcHolds) {
    // A prefix sealed for its own length still isn't a record.
    Bytes record = Valid();
    record.pop_back();
    record_bytes::Seal(record, record.size());
    FakeFiles_Put(c.path, record);
    EXPECT_EQ(c.read(), c.shortRead);
}

TEST_P(RecordReading, AnyFlippedBitInTheCoveredBytesIsCorrupt) {
    for (std::size_t offset = kCoveredOffset; offset < c.layout.size; ++offset) {
        Bytes record = Valid();
        record[offset] ^= static_cast<std::uint8_t>(1u << (offset % 8));
        FakeFiles_Put(c.path, record);
        ASSERT_EQ(c.read(), c.corrupt) << "offset " << offset;
    }
    ExpectNothingStored();
}

TEST_P(RecordReading, UnexaminedLeadingBytesDoNotMatter) {
    Bytes record = Valid();
    std::memset(record.data(), 0xFF, 4);
    FakeFiles_Put(c.path, record);
    EXPECT_EQ(c.read(), CheckResult::Offer);
}

TEST_P(RecordReading, CrcStoredLittleEndianIsCorrupt) {
    Bytes record = Valid();
    std::swap(record[4], record[7]);
    std::swap(record[5], record[6]);
    FakeFiles_Put(c.path, record);
    EXPECT_EQ(c.read(), c.corrupt);
}

TEST_P(RecordReading, BytesBeyondTheRecordAreNotRead) {
    Bytes record = Valid();
    record.resize(600, 0xEE);
    FakeFiles_Put(c.path, record);
    EXPECT_EQ(c.read(), CheckResult::Offer);
}

TEST_P(RecordReading, FullVersionFieldGivesTwelveCharacters) {
    FakeFiles_Put(c.path, record_bytes::Record(c.layout, 1, 2, "ABCDEFGHIJKL"));
    EXPECT_EQ(c.read(), CheckResult::Offer);
    EXPECT_STREQ(c.stored.version, "ABCDEFGHIJKL");
}

TEST_P(RecordReading, VersionTextEndsAtTheFirstNul) {
    Bytes record = Valid();
    std::memcpy(record.data() + c.layout.version, "1.0\0junk\0\0\0\0", 12);
    record_bytes::Seal(record, c.layout.size);
    FakeFiles_Put(c.path, record);
    EXPECT_EQ(c.read(), CheckResult::Offer);
    EXPECT_STREQ(c.stored.version, "1.0");
}

INSTANTIATE_TEST_SUITE_P(BothRecords, RecordReading, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordsTest, FieldsLieAtTheirOffsetsBigEndian) {
    Bytes header(512, 0);
    std::memcpy(header.data() + 77, "V2.5", 4);  // unaligned: odd offset
    const std::uint8_t region[] = {0x00, 0x00, 0x00, 0x03};
    const std::uint8_t model[] = {0x12, 0x34, 0x56, 0x78};
    std::memcpy(header.data() + 332, region, 4);
    std::memcpy(header.data() + 336, model, 4);
    record_bytes::Seal(header, 512);
    FakeFiles_Put(kPackagePath, header);
    EXPECT_EQ(ReadPackageIdentity(), CheckResult::Offer);
    EXPECT_EQ(State.PackageIdentity.region, 3u);
    EXPECT_EQ(State.PackageIdentity.model, 0x12345678u);
    EXPECT_STREQ(State.PackageIdentity.version, "V2.5");

    Bytes device(28, 0);
    std::memcpy(device.data() + 8, model, 4);
    std::memcpy(device.data() + 12, region, 4);
    std::memcpy(device.data() + 16, "1.00", 4);
    record_bytes::Seal(device, 28);
    FakeFiles_Put(kDevicePath, device);
    EXPECT_EQ(ReadDeviceIdentity(), CheckResult::Offer);
    EXPECT_EQ(State.DeviceIdentity.region, 0x12345678u);
    EXPECT_EQ(State.DeviceIdentity.model, 3u);
    EXPECT_STREQ(State.DeviceIdentity.version, "1.00");
}

// The encoder that dravon-pack writes with, against records laid out by hand.
TEST(RecordEncoding, WritesTheDocumentedLayout) {
    Bytes device(28, 0);
    Bytes header(512, 0);
    EXPECT_TRUE(EncodeRecord(device.data(), kDeviceRecord, 0x01020304, 0xA0B0C0D0, "1.02b"));
    EXPECT_TRUE(
        EncodeRecord(header.data(), kPackageHeader, 0x01020304, 0xA0B0C0D0, "ABCDEFGHIJKL"));
    EXPECT_EQ(device, record_bytes::DeviceRecord(0x01020304, 0xA0B0C0D0, "1.02b"));
    EXPECT_EQ(header, record_bytes::PackageHeader(0x01020304, 0xA0B0C0D0, "ABCDEFGHIJKL"));
}

TEST_F(RecordsTest, PathTooLongForItsBufferIsNeverOpened) {
    // 250 characters of directory leave no room for "update.udx" and its NUL.
    std::string directory(249, 'd');
    directory += '\\';
    snprintf(State.ProgramDirectory, sizeof State.ProgramDirectory, "%s", directory.c_str());
    std::string cut = (directory + "update.udx").substr(0, 259);
    FakeFiles_Put(cut, record_bytes::PackageHeader(1, 2, "1.00"));
    EXPECT_EQ(ReadPackageIdentity(), CheckResult::PackageHeaderUnopenable);
    EXPECT_TRUE(FakeFiles_OpenedPaths().empty());

    // One character less fits exactly: 249 + 10 = 259.
    directory.erase(0, 1);
    snprintf(State.ProgramDirectory, sizeof State.ProgramDirectory, "%s", directory.c_str());
    FakeFiles_Put(directory + "update.udx", record_bytes::PackageHeader(1, 2, "1.00"));
    EXPECT_EQ(ReadPackageIdentity(), CheckResult::Offer);
}

TEST(RecordEncoding, VersionLongerThanTheFieldIsRefused) {
    Bytes record(28, 0x5A);
    EXPECT_FALSE(EncodeRecord(record.data(), kDeviceRecord, 1, 2, "ABCDEFGHIJKLM"));
    EXPECT_EQ(record, Bytes(28, 0x5A)) << "nothing may be written";
}

}  // namespace
