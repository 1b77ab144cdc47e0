#include "volume/device_volume.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "run/run_state.h"

namespace {

struct Drive {
    std::string root;
    std::string label;  // "?" for a drive whose information can't be read
};

struct DiscoveryCase {
    const char* name;
    std::vector<Drive> drives;
    std::string expectedRoot;  // "" when no device is found
    std::vector<std::string> labelsRead;
    bool slashes = false;  // mount points as on Linux
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) {
    *os << c.name;
}

const DiscoveryCase kDiscoveries[] = {
    {"OnALaterDrive", {{"C:\\", "SYSTEM"}, {"F:\\", "DRAVONUD"}}, "F:\\", {"C:\\", "F:\\"}},
    {"FirstOfTwoWinsAndStopsTheWalk",
     {{"C:\\", "SYSTEM"}, {"E:\\", "DRAVONUD"}, {"G:\\", "DRAVONUD"}},
     "E:\\",
     {"C:\\", "E:\\"}},
    {"LowerCaseIsNotTheDevice", {{"E:\\", "dravonud"}}, "", {"E:\\"}},
    {"FurtherCharacterIsNotTheDevice", {{"E:\\", "DRAVONUDX"}}, "", {"E:\\"}},
    {"PrefixIsNotTheDevice", {{"E:\\", "DRAVONU"}, {"F:\\", " DRAVONUD"}}, "", {"E:\\", "F:\\"}},
    {"UnreadableDriveIsSkipped", {{"A:\\", "?"}, {"D:\\", "DRAVONUD"}}, "D:\\", {"A:\\", "D:\\"}},
    {"NoDrives", {}, "", {}},
    {"MountPointOnLinux",
     {{"/", "ROOT"}, {"relative/", "DRAVONUD"}, {"/media/user/DRAVONUD/", "DRAVONUD"}},
     "/media/user/DRAVONUD/",
     {"/", "/media/user/DRAVONUD/"},
     true},
};

class DeviceDiscovery : public ::testing::TestWithParam<DiscoveryCase> {
  protected:
    void SetUp() override {
        FakePlatform_Reset();
        ResetRunState();
    }
};

TEST_P(DeviceDiscovery, TakesTheFirstExactLabel) {
    const DiscoveryCase& c = GetParam();
    FakePaths_UseSlashes(c.slashes);
    for (const Drive& drive : c.drives) {
        if (drive.label == "?") {
            FakeDrives_AddUnreadable(drive.root);
        } else {
            FakeDrives_Add(drive.root, drive.label);
        }
    }
    EXPECT_EQ(FindDeviceVolume(), !c.expectedRoot.empty());
    EXPECT_EQ(std::string(State.DeviceRoot), c.expectedRoot);
    EXPECT_EQ(FakeDrives_LabelReads(), c.labelsRead);
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceDiscovery, ::testing::ValuesIn(kDiscoveries),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Drive lists that are not what they should be ----

struct RawListCase {
    const char* name;
    std::string list;  // exactly as the platform hands it out
    std::uint32_t count;
    std::string expectedRoot;
    std::vector<std::string> labelsRead;
};

void PrintTo(const RawListCase& c, std::ostream* os) {
    *os << c.name;
}

using namespace std::string_literals;
const RawListCase kRawLists[] = {
    {"CountZero", "E:\\\0\0"s, 0, "", {}},
    {"ListBeginsWithNul", "\0E:\\\0\0"s, 5, "", {}},
    {"CountLargerThanTheBufferMeansNothingWritten", "", 300, "", {}},
    {"EntryLongerThanARootIsNotADevice", "E:\\mount\\\0F:\\\0\0"s, 14, "F:\\", {"F:\\"}},
    {"ShortEntryIsNotADevice", "E:\0F:\\\0\0"s, 7, "F:\\", {"F:\\"}},
    {"NothingBeyondTheCountIsRead", "C:\\\0E:\\\0\0"s, 4, "", {"C:\\"}},
    {"EntryCutByTheCountIsNotADevice", "C:\\\0E:\\\0\0"s, 6, "", {"C:\\"}},
    {"RootEndingJustInsideTheCount", std::string(250, 'x') + "\0E:\\\0"s, 255, "E:\\", {"E:\\"}},
    {"RootWhoseNulLiesPastTheCount", std::string(251, 'x') + "\0E:\\\0"s, 255, "", {}},
    {"CountLargerThanTheOfferOverAWrittenList", std::string(251, 'x') + "\0E:\\x\0"s, 300, "", {}},
};

class DriveList : public ::testing::TestWithParam<RawListCase> {
  protected:
    void SetUp() override {
        FakePlatform_Reset();
        ResetRunState();
        // Every root in these lists would be the device if its label were asked for.
        for (const char* root : {"C:\\", "E:\\", "F:\\", "E:\\mount\\", "E:"}) {
            FakeDrives_Add(root, root == std::string("C:\\") ? "SYSTEM" : "DRAVONUD");
        }
    }
};

TEST_P(DriveList, IsReadOnlyWithinWhatThePlatformReported) {
    const RawListCase& c = GetParam();
    FakeDrives_SetRawList(c.list, c.count);
    EXPECT_EQ(FindDeviceVolume(), !c.expectedRoot.empty());
    EXPECT_EQ(std::string(State.DeviceRoot), c.expectedRoot);
    EXPECT_EQ(FakeDrives_LabelReads(), c.labelsRead);
}

INSTANTIATE_TEST_SUITE_P(Table, DriveList, ::testing::ValuesIn(kRawLists),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DriveListTooLong, FindsNothingAndReadsNoLabel) {
    FakePlatform_Reset();
    ResetRunState();
    for (int i = 0; i < 70; ++i) {
        FakeDrives_Add("D:\\", "DRAVONUD");  // 70 roots need 281 bytes, more than offered
    }
    EXPECT_FALSE(FindDeviceVolume());
    EXPECT_TRUE(FakeDrives_LabelReads().empty());
}

}  // namespace
