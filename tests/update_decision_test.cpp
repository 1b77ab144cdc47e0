#include "firmware/update_decision.h"

#include <gtest/gtest.h>

#include "records_fixture.h"

namespace {

struct DecisionCase {
    const char* name;
    std::uint32_t deviceRegion, deviceModel;
    const char* deviceVersion;
    std::uint32_t packageRegion, packageModel;
    const char* packageVersion;
    bool disableVer;
    CheckResult expected;
};

const DecisionCase kDecisions[] = {
    {"OlderDeviceIsOffered", 1, 7, "1.00", 1, 7, "1.01", false, CheckResult::Offer},
    {"PackageForEveryRegion", 2, 7, "1.00", 0, 7, "1.01", false, CheckResult::Offer},
    {"DeviceRegionZeroIsNotEveryRegion", 0, 7, "1.00", 1, 7, "1.01", false,
     CheckResult::RegionMismatch},
    {"RegionIsTestedBeforeModel", 2, 7, "1.00", 1, 8, "1.01", false, CheckResult::RegionMismatch},
    {"OtherModel", 1, 0x12, "1.00", 1, 0x13, "1.01", false, CheckResult::ModelMismatch},
    {"EveryRegionStillNeedsTheModel", 5, 7, "1.00", 0, 8, "1.01", false,
     CheckResult::ModelMismatch},
    {"EqualVersionsNeedNothing", 1, 7, "1.01", 1, 7, "1.01", false, CheckResult::NoNeed},
    {"NoDowngrade", 1, 7, "1.02", 1, 7, "1.01", false, CheckResult::NoNeed},
    {"ComparisonIsLexical", 1, 7, "1.9", 1, 7, "1.10", false, CheckResult::NoNeed},
    {"UpperCaseLetterSortsAfterDigit", 1, 7, "V1.00", 1, 7, "1.00", false, CheckResult::NoNeed},
    {"ProperPrefixIsTheLesser", 1, 7, "1.0", 1, 7, "1.0a", false, CheckResult::Offer},
    {"BytesCompareUnsigned", 1, 7, "1.0\x7F", 1, 7, "1.0\x80", false, CheckResult::Offer},
    {"EmptyDeviceVersionIsOffered", 1, 7, "", 1, 7, "1.00", false, CheckResult::Offer},
    {"BypassIgnoresModel", 1, 7, "1.00", 1, 8, "1.01", true, CheckResult::Offer},
    {"BypassIgnoresRegionAndVersion", 1, 7, "2.00", 3, 7, "1.01", true, CheckResult::Offer},
};

void PrintTo(const DecisionCase& c, std::ostream* os) {
    *os << c.name;
}

class Decision : public RecordsTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(Decision, GivesItsResult) {
    const DecisionCase& c = GetParam();
    PutDevice(c.deviceRegion, c.deviceModel, c.deviceVersion);
    PutPackage(c.packageRegion, c.packageModel, c.packageVersion);
    State.DISABLE_VER = c.disableVer;
    EXPECT_EQ(CheckFirmware(), c.expected);
    // Both identities stay readable for the dialogs, whatever the decision.
    EXPECT_STREQ(State.DeviceIdentity.version, c.deviceVersion);
    EXPECT_STREQ(State.PackageIdentity.version, c.packageVersion);
}

INSTANTIATE_TEST_SUITE_P(Table, Decision, ::testing::ValuesIn(kDecisions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordsTest, DeviceRecordIsReadFirst) {
    EXPECT_EQ(CheckFirmware(), CheckResult::DeviceRecordUnopenable);
    ASSERT_EQ(FakeFiles_OpenedPaths().size(), 1u) << "the package is read only after the device";
    EXPECT_EQ(FakeFiles_OpenedPaths()[0], kDevicePath);
}

TEST_F(RecordsTest, BypassDoesNotSkipReading) {
    State.DISABLE_VER = true;
    PutPackage(1, 7, "1.01");
    EXPECT_EQ(CheckFirmware(), CheckResult::DeviceRecordUnopenable);
    PutDevice(1, 7, "1.00");
    FakeFiles_Remove(kPackagePath);
    EXPECT_EQ(CheckFirmware(), CheckResult::PackageHeaderUnopenable);
}

TEST_F(RecordsTest, PackageFailureKeepsTheDeviceIdentityOnly) {
    PutDevice(4, 9, "3.10");
    Bytes header = record_bytes::PackageHeader(4, 9, "3.11");
    header[400] ^= 0x01;
    FakeFiles_Put(kPackagePath, header);
    EXPECT_EQ(CheckFirmware(), CheckResult::PackageHeaderCorrupt);
    EXPECT_EQ(State.DeviceIdentity.model, 9u);
    EXPECT_STREQ(State.DeviceIdentity.version, "3.10");
    EXPECT_EQ(State.PackageIdentity.model, 0u);
    EXPECT_STREQ(State.PackageIdentity.version, "");
}

}  // namespace
