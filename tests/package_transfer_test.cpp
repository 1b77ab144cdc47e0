#include "volume/package_transfer.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "platform/platform.h"
#include "run/run_state.h"

namespace {

const std::string kFolder = "C:\\Tools\\Update\\";
const Bytes kHeader(600, 0x11);
const Bytes kPayload(40, 0x22);

class PackageTransfer : public ::testing::Test {
  protected:
    void SetUp() override {
        FakePlatform_Reset();
        ResetRunState();
        snprintf(State.ProgramDirectory, sizeof State.ProgramDirectory, "%s", kFolder.c_str());
        snprintf(State.DeviceRoot, sizeof State.DeviceRoot, "E:\\");
        FakeFiles_Put(kFolder + "update.udx", kHeader);
        FakeFiles_Put(kFolder + "update.udi", kPayload);
        FakeDrives_Add("E:\\", "DRAVONUD");
        State.DeviceSerialKnown =
            ReadVolumeSerial("E:\\", State.DeviceSerial, sizeof State.DeviceSerial);
    }
};

// The copy as the driver runs it, with its progress shown.
bool Copy() {
    return CopyShowingProgress("Title", CopyUpdatePackage);
}

TEST_F(PackageTransfer, CopiesHeaderThenPayload) {
    EXPECT_TRUE(Copy());
    EXPECT_EQ(FakeFiles_Get("E:\\update.udx"), kHeader);
    EXPECT_EQ(FakeFiles_Get("E:\\update.udi"), kPayload);
    const std::vector<std::string> expected = {"E:\\update.udx.partial>E:\\update.udx",
                                               "E:\\update.udi.partial>E:\\update.udi"};
    EXPECT_EQ(FakeFiles_PutInPlace(), expected);
}

// The bar runs over both files, each written and then read back, to the whole.
TEST_F(PackageTransfer, ProgressCoversBothFilesWrittenAndReadBack) {
    EXPECT_TRUE(Copy());
    const std::vector<std::string> expected = {"Title", "600/1280 update.udx",
                                               "1200/1280 update.udx", "1240/1280 update.udi",
                                               "1280/1280 update.udi"};
    EXPECT_EQ(FakeProgress_Steps(), expected);
}

TEST_F(PackageTransfer, MissingPayloadLeavesTheHeaderOnTheDevice) {
    FakeFiles_Remove(kFolder + "update.udi");
    EXPECT_FALSE(Copy());
    EXPECT_EQ(FakeFiles_Get("E:\\update.udx"), kHeader);
    EXPECT_FALSE(FakeFiles_Exists("E:\\update.udi"));
}

TEST_F(PackageTransfer, FailedHeaderCopyStopsBeforeThePayload) {
    FakeFiles_Remove(kFolder + "update.udx");
    EXPECT_FALSE(Copy());
    EXPECT_EQ(FakeFaults_Calls(FakeOp::Create), 0);
    EXPECT_FALSE(FakeFiles_Exists("E:\\update.udx"));
    EXPECT_FALSE(FakeFiles_Exists("E:\\update.udi"));

    FakePlatform_Reset();
    SetUp();
    FakeFaults_Fail(FakeOp::Create, 1);  // a full or write-protected device
    EXPECT_FALSE(Copy());
    EXPECT_EQ(FakeFaults_Calls(FakeOp::Create), 1);
}

// A file that ends before the size it had at the start is never staged as the package.
TEST_F(PackageTransfer, FileThatDeliversLessThanItsSizeIsAFailedCopy) {
    for (const char* name : {"update.udx", "update.udi"}) {
        SetUp();
        FakeFiles_LimitRead(kFolder + name, 10);
        EXPECT_FALSE(Copy()) << name;
        EXPECT_FALSE(FakeFiles_Exists(std::string("E:\\") + name)) << name;
        EXPECT_FALSE(FakeFiles_Exists(std::string("E:\\") + name + ".partial")) << name;
    }
}

// A device sized for one package: its temporary copy finds no room while the old file holds
// it, and is made again once the old file is removed, where that makes room; what an earlier
// run left at a temporary name is removed first. Clusters of 100 bytes; the old files take
// 6 and 9 of them.
TEST_F(PackageTransfer, DeviceWithRoomForOnePackage) {
    const struct {
        const char* name;
        std::uint64_t clusters;
        std::size_t newPayload;
        std::size_t leftover;  // an earlier run's update.udi.partial
        bool copied;
        int creates;
        int storedWrong = 0;  // the write whose bit lands wrong on the medium
        int failedWrite = 0;  // the write that fails with an error that names no cause
    } cases[] = {
        {"RoomForBothAtOnce", 40, 900, 0, true, 2},
        {"RoomOnceEachOldFileIsGone", 16, 900, 0, true, 4},
        {"RoomForTheNewPackageExactly", 16, 1000, 0, true, 4},
        {"NoRoomEvenWithoutTheOldFiles", 16, 1100, 0, false, 0},
        {"RoomOnceTheLeftoverIsGone", 30, 900, 1500, true, 2},
        // The header's copy is made again for room; the payload's then fails otherwise.
        {"ReadBackDiffersAfterARetryForRoom", 20, 300, 0, false, 3, 3},
        // A write that fails otherwise, where the volume has no room left for the rest.
        {"NoRoomLeftWhateverTheError", 40, 3000, 0, true, 3, 0, 2},
        {"RoomLeftAndAnotherError", 40, 900, 0, false, 2, 0, 2},
    };
    for (const auto& c : cases) {
        SetUp();
        const Bytes oldHeader(600, 0x0D);
        const Bytes oldPayload(900, 0x0E);
        const Bytes newPayload(c.newPayload, 0x22);
        FakeFiles_Put("E:\\update.udx", oldHeader);
        FakeFiles_Put("E:\\update.udi", oldPayload);
        FakeFiles_Put(kFolder + "update.udi", newPayload);
        if (c.leftover > 0) {
            FakeFiles_Put("E:\\update.udi.partial", Bytes(c.leftover, 0x33));
        }
        FakeDrives_SetRoom("E:\\", c.clusters * 100, 100);
        FakeFaults_StoreWrong(c.storedWrong);
        if (c.failedWrite > 0) {
            FakeFaults_Fail(FakeOp::Write, c.failedWrite);
        }
        EXPECT_EQ(Copy(), c.copied) << c.name;
        EXPECT_EQ(FakeFaults_Calls(FakeOp::Create), c.creates) << c.name;
        // A package that can't fit is not begun; else the header goes first.
        EXPECT_EQ(FakeFiles_Get("E:\\update.udx"), c.creates > 0 ? kHeader : oldHeader) << c.name;
        EXPECT_EQ(FakeFiles_Get("E:\\update.udi"), c.copied ? newPayload : oldPayload) << c.name;
        EXPECT_FALSE(FakeFiles_Exists("E:\\update.udi.partial")) << c.name;
        EXPECT_EQ(FakeFiles_OpenHandles(), 0) << c.name;
        FakePlatform_Reset();
    }
}

TEST_F(PackageTransfer, PathTooLongIsAFailedCopyNeverACutName) {
    std::string folder = "C:\\" + std::string(245, 'p') + "\\";  // 249 + "update.udx" = 259
    snprintf(State.ProgramDirectory, sizeof State.ProgramDirectory, "%s", folder.c_str());
    FakeFiles_Put(folder + "update.udx", kHeader);
    FakeFiles_Put(folder + "update.udi", kPayload);
    EXPECT_TRUE(Copy());

    folder.insert(3, "p");
    snprintf(State.ProgramDirectory, sizeof State.ProgramDirectory, "%s", folder.c_str());
    FakeFiles_Put(folder + "update.udx", kHeader);
    FakeFiles_Remove("E:\\update.udx");
    EXPECT_FALSE(Copy());
    EXPECT_EQ(FakeFiles_PutInPlace().size(), 2u) << "only the copies of the first call";
    EXPECT_FALSE(FakeFiles_Exists("E:\\update.udx"));
}

}  // namespace
