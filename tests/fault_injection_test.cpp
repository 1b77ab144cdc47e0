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
    bool packageOnDevice;  // the new update.udx is on the device, else the old one
    bool payloadOnDevice;
    bool storedWrong = false;  // the call succeeds, but stores one bit wrong on the medium
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
    // The steps of the copy: update.udx is read (chunk 1), written, flushed, read again and
    // read back from the medium (chunks 2 and 3), then put in place; then update.udi.
    {"ProgramFileReadFails", FakeOp::ReadChunk, 1, {kQuestion, Error("50")}, false, false},
    {"TemporaryFileCannotBeMade", FakeOp::Create, 1, {kQuestion, Error("50")}, false, false},
    {"HeaderWriteFails", FakeOp::Write, 1, {kQuestion, Error("50")}, false, false},
    {"PayloadWriteFails", FakeOp::Write, 2, {kQuestion, Error("50")}, true, false},
    {"FlushFails", FakeOp::Flush, 1, {kQuestion, Error("50")}, false, false},
    {"MediumCannotBeOpened", FakeOp::OpenOnMedium, 1, {kQuestion, Error("50")}, false, false},
    {"ReadBackFails", FakeOp::ReadChunk, 3, {kQuestion, Error("50")}, false, false},
    {"HeaderPutInPlaceFails", FakeOp::PutInPlace, 1, {kQuestion, Error("50")}, false, false},
    {"PayloadPutInPlaceFails", FakeOp::PutInPlace, 2, {kQuestion, Error("50")}, true, false},
    {"HeaderStoredWrong", FakeOp::Write, 1, {kQuestion, Error("50")}, false, false, true},
    {"PayloadStoredWrong", FakeOp::Write, 2, {kQuestion, Error("50")}, true, false, true},
    // The device's label and serial, read again before the first write.
    {"SerialUnreadableWhenFound", FakeOp::Serial, 1, {kQuestion, Error("50")}, false, false},
    {"LabelUnreadableBeforeTheCopy", FakeOp::Label, 3, {kQuestion, Error("50")}, false, false},
    {"SerialUnreadableBeforeTheCopy", FakeOp::Serial, 2, {kQuestion, Error("50")}, false, false},
    {"QuestionCannotBeShown", FakeOp::MessageBox, 1, {kQuestion}, false, false},
    {"FinishedNoticeCannotBeShown", FakeOp::MessageBox, 2, {kQuestion, kFinished}, true, true},
};

class FaultInjection : public ::testing::TestWithParam<FaultCase> {};

// Each file on the device is afterwards the old one or the new one, whole, and no temporary
// file is left.
TEST_P(FaultInjection, LeadsToItsDialogAndWritesOnlyOnYes) {
    const FaultCase& c = GetParam();
    SetUpGoodWorld();
    const Bytes oldHeader(3, 0x0D);
    const Bytes oldPayload(5, 0x0E);
    FakeFiles_Put("E:\\update.udx", oldHeader);
    FakeFiles_Put("E:\\update.udi", oldPayload);
    if (c.storedWrong) {
        FakeFaults_StoreWrong(c.call);
    } else {
        FakeFaults_Fail(c.op, c.call);
    }
    FakeBoxes_Answer({kAnswerYes});
    EXPECT_EQ(RunUpdater(), 0);
    ASSERT_GE(FakeFaults_Calls(c.op), c.call) << "the run never reached the failing call";
    EXPECT_EQ(FakeBoxes_Shown(), c.expectedBoxes);
    EXPECT_EQ(FakeFiles_Get("E:\\update.udx"),
              c.packageOnDevice ? FakeFiles_Get(kFolder + "update.udx") : oldHeader);
    EXPECT_EQ(FakeFiles_Get("E:\\update.udi"),
              c.payloadOnDevice ? FakeFiles_Get(kFolder + "update.udi") : oldPayload);
    EXPECT_FALSE(FakeFiles_Exists("E:\\update.udx.partial"));
    EXPECT_FALSE(FakeFiles_Exists("E:\\update.udi.partial"));
    EXPECT_EQ(FakeFiles_OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryCallSite, FaultInjection, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// A stick pulled while the question waits, and another one at the same root: nothing is
// written to it, unless it is the same volume (plugged in again).
TEST(FaultInjection, OnlyTheVolumeFoundIsWritten) {
    const struct {
        const char* label;
        const char* serial;
        bool written;
    } swaps[] = {{"DRAVONUD", "5678-EF01", false},
                 {"OTHER", "1234-ABCD", false},
                 {"DRAVONUD", "", false},
                 {"DRAVONUD", "1234-ABCD", true}};
    for (const auto& swap : swaps) {
        SetUpGoodWorld();
        FakeDrives_SwapAtAnswer("E:\\", swap.label, swap.serial);
        FakeBoxes_Answer({kAnswerYes});
        EXPECT_EQ(RunUpdater(), 0);
        EXPECT_EQ(FakeBoxes_Shown().back(), swap.written ? kFinished : Error("50"))
            << swap.label << " " << swap.serial;
        EXPECT_EQ(FakeFiles_Exists("E:\\update.udx"), swap.written);
    }
}

// Without a Yes nothing is written, whatever else fails.
TEST(FaultInjection, NothingIsWrittenWithoutYes) {
    for (FakeOp op : {FakeOp::Mutex, FakeOp::Profile, FakeOp::Label, FakeOp::Create}) {
        for (int answer : {kAnswerNo, 0}) {
            SetUpGoodWorld();
            FakeFaults_Fail(op, 1);
            FakeBoxes_Answer({answer});
            EXPECT_EQ(RunUpdater(), 0);
            EXPECT_FALSE(FakeFiles_Exists("E:\\update.udx"));
            EXPECT_EQ(FakeFaults_Calls(FakeOp::Create), 0);
        }
    }
}

}  // namespace
