/* Each platform operation failing in turn, at each place where a run calls it. */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "good_world.h"
#include "run/run_driver.h"

namespace {

using namespace good_world;

struct FaultCase {
    const char* name;
    FakeOp op;
    int call;  // which call of the operation fails, from 1
    std::vector<FakeBox> expectedBoxes;
    bool packageOnDevice;
    bool payloadOnDevice;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

const FakeBox kFinished = {"Update staged.", kTitle, kNoticeBox};
const FakeBox kNoDevice = {"No device found.\nConnect it.", kTitle, kErrorBox};
// ERROR is read last: until then its slot holds the built-in word.
const FakeBox kCatalogueError = {"Error CODE : 0x00", kTitle, kErrorBox};

// The user answers Yes throughout: only a failure can keep the package off the device.
const FaultCase kFaults[] = {
    {"MutexCannotBeCreated", FakeOp::Mutex, 1, {kQuestion, kFinished}, true, true},
    {"ModulePathFails",
     FakeOp::ModulePath,
     1,
     {{"Error CODE : 0x00", "Dravon Updater", kErrorBox}},
     false,
     false},
    {"TitleReadFails", FakeOp::Profile, 1, {{"Error CODE : 0x00", "", kErrorBox}}, false, false},
    {"NodravonReadFails", FakeOp::Profile, 2, {kCatalogueError}, false, false},
    {"ConfirmReadFails", FakeOp::Profile, 3, {kCatalogueError}, false, false},
    {"NoupdateReadFails", FakeOp::Profile, 4, {kCatalogueError}, false, false},
    {"NoneedReadFails", FakeOp::Profile, 5, {kCatalogueError}, false, false},
    {"CurrentReadFails", FakeOp::Profile, 6, {kCatalogueError}, false, false},
    {"UpdateReadFails", FakeOp::Profile, 7, {kCatalogueError}, false, false},
    {"FinishReadFails", FakeOp::Profile, 8, {kCatalogueError}, false, false},
    {"ErrorReadFails", FakeOp::Profile, 9, {{" CODE : 0x00", kTitle, kErrorBox}}, false, false},
    {"DebugSwitchReadFails", FakeOp::Profile, 10, {kQuestion, kFinished}, true, true},
    {"DriveListFails", FakeOp::DriveList, 1, {kNoDevice}, false, false},
    {"FirstLabelFails", FakeOp::Label, 1, {kQuestion, kFinished}, true, true},
    {"DeviceLabelFails", FakeOp::Label, 2, {kNoDevice}, false, false},
    {"DeviceRecordOpenFails", FakeOp::Open, 1, {Error("10")}, false, false},
    {"PackageOpenFails", FakeOp::Open, 2, {Error("20")}, false, false},
    {"DeviceRecordReadFails", FakeOp::Read, 1, {Error("11")}, false, false},
    {"PackageReadFails", FakeOp::Read, 2, {Error("21")}, false, false},
    {"HeaderCopyFails", FakeOp::Copy, 1, {kQuestion, Error("50")}, false, false},
    {"PayloadCopyFails", FakeOp::Copy, 2, {kQuestion, Error("50")}, true, false},
    {"QuestionCannotBeShown", FakeOp::MessageBox, 1, {kQuestion}, false, false},
    {"FinishedNoticeCannotBeShown", FakeOp::MessageBox, 2, {kQuestion, kFinished}, true, true},
};

class FaultInjection : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultInjection, LeadsToItsDialogAndWritesOnlyOnYes) {
    const FaultCase& c = GetParam();
    SetUpGoodWorld();
    FakeFaults_Fail(c.op, c.call);
    FakeBoxes_Answer({kAnswerYes});
    EXPECT_EQ(RunUpdater(), 0);
    ASSERT_GE(FakeFaults_Calls(c.op), c.call) << "the run never reached the failing call";
    EXPECT_EQ(FakeBoxes_Shown(), c.expectedBoxes);
    EXPECT_EQ(FakeFiles_Exists("E:\\update.udx"), c.packageOnDevice);
    EXPECT_EQ(FakeFiles_Exists("E:\\update.udi"), c.payloadOnDevice);
    EXPECT_EQ(FakeFiles_OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryCallSite, FaultInjection, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Without a Yes nothing is written, whatever else fails.
TEST(FaultInjection, NothingIsWrittenWithoutYes) {
    for (FakeOp op : {FakeOp::Mutex, FakeOp::Profile, FakeOp::Label, FakeOp::Copy}) {
        for (int answer : {kAnswerNo, 0}) {
            SetUpGoodWorld();
            FakeFaults_Fail(op, 1);
            FakeBoxes_Answer({answer});
            EXPECT_EQ(RunUpdater(), 0);
            EXPECT_FALSE(FakeFiles_Exists("E:\\update.udx"));
            EXPECT_EQ(FakeFaults_Calls(FakeOp::Copy), 0);
        }
    }
}

}  // namespace
