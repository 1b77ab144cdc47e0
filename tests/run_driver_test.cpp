#include "run/run_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "good_world.h"
#include "platform/platform.h"
#include "run/run_state.h"

namespace {

using namespace good_world;

struct RunCase {
    const char* name;
    std::function<void()> change;  // applied to the good world
    std::vector<int> answers;
    std::vector<FakeBox> expectedBoxes;
    bool packageOnDevice;  // update.udx copied
    bool payloadOnDevice;  // update.udi copied
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

const RunCase kRuns[] = {
    {"OfferAnsweredYes",
     [] {},
     {kAnswerYes},
     {kQuestion, {"Update staged.", kTitle, kNoticeBox}},
     true,
     true},
    {"OfferAnsweredNo", [] {}, {kAnswerNo}, {kQuestion}, false, false},
    {"QuestionThatFailsToShowWritesNothing", [] {}, {0}, {kQuestion}, false, false},
    {"TransferFailsWithoutPayload",
     [] { FakeFiles_Remove(kFolder + "update.udi"); },
     {kAnswerYes},
     {kQuestion, Error("50")},
     true,
     false},
    {"TransferFailsOnTheDevice",
     [] { FakeFaults_Fail(FakeOp::Create, 1); },
     {kAnswerYes},
     {kQuestion, Error("50")},
     false,
     false},
    {"EqualVersionsNeedNothing",
     [] { PutDevice(1, 0x12, "1.01"); },
     {},
     {{"Current version : 1.01\nUpdate version  : 1.01\n\nAlready up to date.", kTitle,
       kNoticeBox}},
     false,
     false},
    {"NewerDeviceNeedsNothing",
     [] { PutDevice(1, 0x12, "1.02"); },
     {},
     {{"Current version : 1.02\nUpdate version  : 1.01\n\nAlready up to date.", kTitle,
       kNoticeBox}},
     false,
     false},
    {"OtherModelIsRefused",
     [] { PutPackage(1, 0x13, "1.01"); },
     {},
     {{"This package is not for your device.\n\nModel  00000012:00000013\nRegion "
       "00000001:00000001",
       kTitle, kErrorBox}},
     false,
     false},
    {"OtherRegionIsRefused",
     [] { PutPackage(0xABCDEF01, 0x12, "1.01"); },
     {},
     {{"This package is not for your device.\n\nModel  00000012:00000012\nRegion "
       "00000001:ABCDEF01",
       kTitle, kErrorBox}},
     false,
     false},
    {"RefusalIsInUpperCaseHexOnBothSides",
     [] {
         PutDevice(0xABC, 0xDEF12, "1.00");
         PutPackage(0xFED, 0xCBA98, "1.01");
     },
     {},
     {{"This package is not for your device.\n\nModel  000DEF12:000CBA98\nRegion "
       "00000ABC:00000FED",
       kTitle, kErrorBox}},
     false,
     false},
    {"BypassOffersAnyModel",
     [] {
         FakeProfile_Set(kIni, "DEBUG", "DISABLE_VER", "YES");
         PutPackage(1, 0x99, "0.50");
     },
     {kAnswerNo},
     {{"Current version : 1.00\nUpdate version  : 0.50\n\nUpdate now?", kTitle, kQuestionBox}},
     false,
     false},
    {"DeviceRecordMissing",
     [] { FakeFiles_Remove(kDeviceRecordPath); },
     {},
     {Error("10")},
     false,
     false},
    {"DeviceRecordShort",
     [] { FakeFiles_Put(kDeviceRecordPath, Bytes(27, 0)); },
     {},
     {Error("11")},
     false,
     false},
    {"DeviceRecordCorrupt",
     [] { FakeFiles_Put(kDeviceRecordPath, Bytes(28, 1)); },
     {},
     {Error("12")},
     false,
     false},
    {"PackageMissing",
     [] { FakeFiles_Remove(kFolder + "update.udx"); },
     {},
     {Error("20")},
     false,
     false},
    {"PackageShort",
     [] { FakeFiles_Put(kFolder + "update.udx", Bytes(511, 0)); },
     {},
     {Error("21")},
     false,
     false},
    {"PackageCorrupt",
     [] { FakeFiles_Put(kFolder + "update.udx", Bytes(512, 0)); },
     {},
     {Error("22")},
     false,
     false},
    {"NoDevice",
     [] {
         FakePlatform_Reset();
         SetUpGoodWorld();
         FakeDrives_SetRawList(std::string("C:\\\0\0", 5), 4);
     },
     {},
     {{"No device found.\nConnect it.", kTitle, kErrorBox}},
     false,
     false},
    {"CatalogueMissingShowsTheBuiltInWord",
     [] {
         for (auto [key, value] : kTexts) {
             FakeProfile_Set(kIni, "INIT", key, "");
         }
     },
     {},
     {{"Error CODE : 0x00", "", kErrorBox}},
     false,
     false},
    {"CatalogueWithoutErrorKey",
     [] { FakeProfile_Set(kIni, "INIT", "ERROR", ""); },
     {},
     {{" CODE : 0x00", kTitle, kErrorBox}},
     false,
     false},
    {"UnusableProgramDirectoryKeepsTheBuiltInTexts",
     [] { FakeModule_SetPath("C:\\" + std::string(300, 'x') + "\\DravonUpdater.exe"); },
     {},
     {{"Error CODE : 0x00", "Dravon Updater", kErrorBox}},
     false,
     false},
};

class Run : public ::testing::TestWithParam<RunCase> {
  protected:
    void SetUp() override { SetUpGoodWorld(); }
};

TEST_P(Run, ShowsItsDialogsAndExitsZero) {
    const RunCase& c = GetParam();
    c.change();
    FakeBoxes_Answer(c.answers);
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_EQ(FakeBoxes_Shown(), c.expectedBoxes);
    EXPECT_EQ(FakeFiles_Exists("E:\\update.udx"), c.packageOnDevice);
    EXPECT_EQ(FakeFiles_Exists("E:\\update.udi"), c.payloadOnDevice);
    EXPECT_EQ(FakeFiles_OpenHandles(), 0);
    EXPECT_EQ(FakeMutex_LastName(), "QelDravonUpdater");
    EXPECT_EQ(FakeMutex_HeldHandles(), 1) << "the mutex is held for the life of the process";
}

INSTANTIATE_TEST_SUITE_P(Table, Run, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SingleInstance, SecondInstanceEndsSilently) {
    SetUpGoodWorld();
    FakeMutex_Set(FakeMutexState::HeldByAnother);
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_TRUE(FakeBoxes_Shown().empty());
    EXPECT_TRUE(FakeProfile_Reads().empty()) << "nothing after the guard runs";
    EXPECT_EQ(FakeMutex_HeldHandles(), 0) << "the handle to the other's mutex is closed";
}

TEST(SingleInstance, MutexThatCannotBeOpenedIsNoOtherInstance) {
    SetUpGoodWorld();
    FakeMutex_Set(FakeMutexState::NoAccess);
    FakeBoxes_Answer({kAnswerNo});
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_EQ(FakeBoxes_Shown(), std::vector<FakeBox>{kQuestion});
}

TEST(LongTexts, QuestionIsCutAtTheBuffersEnd) {
    SetUpGoodWorld();
    FakeProfile_Set(kIni, "INIT", "CURRENT", std::string(255, 'c'));
    FakeProfile_Set(kIni, "INIT", "UPDATE", std::string(255, 'u'));
    FakeProfile_Set(kIni, "INIT", "CONFIRM", std::string(255, 'q'));
    FakeBoxes_Answer({kAnswerNo});
    EXPECT_EQ(RunUpdater(), 0);
    ASSERT_EQ(FakeBoxes_Shown().size(), 1u);
    const std::string expected =
        std::string(255, 'c') + "1.00\n" + std::string(255, 'u').substr(0, 511 - 260);
    EXPECT_EQ(FakeBoxes_Shown()[0].text, expected);
}

}  // namespace
