/* tests/e2e/windows_e2e_test.cpp: the scenarios (scenarios.cpp) run with the real
 * DravonUpdater.exe under Wine.
 *
 * Each scenario's program folder and drive folders are mapped to drive letters with their
 * volume labels; the Wine server is restarted so that the labels are read afresh, and the
 * updater is run through dialog-driver.exe, which describes every message box and presses
 * the scenario's answers. The transcript is compared whole, and the device folders
 * afterwards file by file.
 *
 * wine-session sets WINEPREFIX, DISPLAY and the DRAVON_* variables used here. */
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/scenarios.h"
#include "tests/record_bytes.h"

namespace {

using namespace e2e;

class EndToEnd : public ::testing::TestWithParam<Scenario> {
  protected:
    void SetUp() override {
        windowsBuild = Environment("DRAVON_E2E_WINDOWS_BUILD");
        prefix = Environment("WINEPREFIX");
        world.root = fs::path(Environment("DRAVON_E2E_WORK")) / GetParam().name;
        world.program = world.root / GetParam().programFolder;
        fs::remove_all(world.root);
        fs::create_directories(world.program);
        // The build's exe, or another one (a signed release) that the variable names.
        const char* exe = std::getenv("DRAVON_E2E_EXE");
        fs::copy_file(exe != nullptr ? fs::path(exe) : windowsBuild / "DravonUpdater.exe",
                      world.program / "DravonUpdater.exe");
        SetUpUsualWorld(world);
    }

    // Maps P: to the scenario, T: to the helper, and each device folder to its letter,
    // and restarts the Wine server, which caches volume labels.
    void MapDrives() {
        fs::path dosdevices = prefix / "dosdevices";
        for (const auto& entry : fs::directory_iterator(dosdevices)) {
            std::string name = entry.path().filename().string();
            if (name.size() == 2 && name[1] == ':' && name != "c:") {
                fs::remove(entry.path());
            }
        }
        fs::create_directory_symlink(world.root, dosdevices / "p:");
        fs::create_directory_symlink(windowsBuild, dosdevices / "t:");
        const Scenario& s = GetParam();
        for (const auto& [letter, folder] : world.drives) {
            fs::path target = folder;
            // The device that fails: its folder served through the fault device, without a
            // cache, as Wine reads through Linux's cache whatever flags the exe passes (it
            // drops FILE_FLAG_NO_BUFFERING): so every read back reaches the device. Wine
            // reads the label from the folder; the mount point is not named by it, so that
            // the Linux program, if its suite runs meanwhile, never takes it for its device.
            if (s.faults != nullptr && letter == s.deviceLetter) {
                target = world.root / "fault" / (std::string("drive-") + letter);
                ASSERT_TRUE(
                    faultDevice.Mount(folder, target, std::string(s.faults) + " --direct-io"));
            }
            fs::create_directory_symlink(target, dosdevices / (std::string(1, letter) + ":"));
        }
        ASSERT_EQ(std::system("wineserver -k 2>/dev/null; wineserver -w 2>/dev/null"), 0);
    }

    // The Wine server lets go of the fault device's files, so that it can be unmounted.
    void UnmountFaultDevice() {
        if (GetParam().faults != nullptr) {
            EXPECT_EQ(std::system("wineserver -k 2>/dev/null; wineserver -w 2>/dev/null"), 0);
            faultDevice.Unmount();
        }
    }

    void TearDown() override { UnmountFaultDevice(); }

    std::string RunUpdater(const Scenario& s) {
        std::string command = std::string("wine 'T:\\dialog-driver.exe' run 'P:\\") +
                              s.programFolder + "\\DravonUpdater.exe' --cwd 'C:\\' --timeout 20000";
        for (const Dialog& d : s.dialogs) {
            command += " --answer " + d.pressed;
        }
        if (s.secondInstance) {
            command += " --second-instance";
        }
        if (s.watchProgress) {
            command += " --watch-progress --paused " + std::to_string(s.progressPause);
        }
        if (s.endSession != nullptr) {
            command += " --end-session-after 1";
        }
        if (s.holdRecordsOpen) {
            command += std::string(" --hold-open 'E:\\version.dat' --hold-open 'P:\\") +
                       s.programFolder + "\\update.udx'";
        }
        if (s.scanner != Scenario::Scanner::None) {
            command += s.scanner == Scenario::Scanner::Briefly        ? " --hold-briefly"
                       : s.scanner == Scenario::Scanner::AfterTheMove ? " --hold-after-move"
                                                                      : " --hold-open";
            command += " 'E:\\update.udx'";
        }
        if (s.swapAtQuestion) {
            command += std::string(" --swap-before-answer ") + s.deviceLetter + " '" +
                       (world.root / "other").string() + "'";
        }
        if (*s.dllOverrides != '\0') {
            command = "WINEDLLOVERRIDES=\"$WINEDLLOVERRIDES;" + std::string(s.dllOverrides) +
                      "\" " + command;
        }
        int status = 0;
        BusyProcesses busy(s.busyProcesses);
        std::string transcript =
            Capture("cd '" + world.root.string() + "' && " + command + " 2>/dev/null", &status);
        EXPECT_EQ(status, 0) << "dialog-driver reported a fault";
        return transcript;
    }

    // The stick swapped while the question waits: another volume labelled DRAVONUD, with
    // another serial and the same files, takes the device's letter. The device's own volume
    // has a serial of its own too.
    void PutOtherVolume() {
        const fs::path device = world.drives.at(GetParam().deviceLetter);
        const fs::path other = world.root / "other";
        WriteFile(device / ".windows-serial", "1234ABCD\n");
        fs::copy(device, other);
        WriteFile(other / ".windows-serial", "5A5A1234\n");
        otherBefore = FilesIn(other);
    }

    fs::path windowsBuild;
    fs::path prefix;
    Files otherBefore;
    World world;
    FaultDevice faultDevice;
};

TEST_P(EndToEnd, ShowsTheRightDialogsAndLeavesTheDeviceRight) {
    const Scenario& s = GetParam();
    s.change(world);
    world.WriteIni();
    if (s.swapAtQuestion) {
        PutOtherVolume();
    }
    MapDrives();
    std::map<char, Files> before;
    for (const auto& [letter, folder] : world.drives) {
        before[letter] = FilesIn(folder);
    }

    EXPECT_EQ(RunUpdater(s), ExpectedTranscript(s, /*icons=*/false));
    if (s.check) {
        s.check(world);
    }

    UnmountFaultDevice();
    if (s.swapAtQuestion) {
        EXPECT_EQ(Summary(FilesIn(world.root / "other")), Summary(otherBefore))
            << "the other volume was written";
    }
    for (const auto& [letter, folder] : world.drives) {
        Files expected = ExpectedFiles(s, world, letter, before[letter]);
        Files actual = FilesIn(folder);
        LeaveOutWhatAPullKeeps(s, actual, expected);
        EXPECT_EQ(Summary(actual), Summary(expected)) << "drive " << letter << ":";
    }
    EXPECT_EQ(faultDevice.WritesInPlace(), "");
    // A planted DLL that was loaded leaves a mark beside itself.
    EXPECT_FALSE(fs::exists(world.program / "uxtheme.dll.loaded")) << "the planted DLL was loaded";
    // Whatever the updater copied is left writable, so that the next update can replace it.
    if (s.device != DeviceAfter::Untouched) {
        for (const char* name : {"update.udx", "update.udi"}) {
            fs::path copy = world.drives[s.deviceLetter] / name;
            if (fs::exists(copy)) {
                EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_write, fs::perms::none)
                    << copy << " is read-only";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, EndToEnd,
                         ::testing::ValuesIn(ScenariosFor(Systems::WindowsOnly)),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Executable, CarriesItsVersionRecordAndManifest) {
    int status = 0;
    fs::path build = Environment("DRAVON_E2E_WINDOWS_BUILD");
    std::string report =
        Capture("cd '" + build.string() +
                    "' && wine dialog-driver.exe version DravonUpdater.exe 2>/dev/null",
                &status);
    EXPECT_EQ(status, 0);
    for (const char* line :
         {"file-version: 1.0.3.0\n", "product-version: 1.0.0.0\n", "translation: 08090000\n",
          "FileDescription: \"Dravon Updater\"\n", "FileVersion: \"1.0.3\"\n",
          "InternalName: \"Dravon Updater\"\n", "OriginalFilename: \"\"\n",
          "ProductName: \"Dravon Updater\"\n", "ProductVersion: \"1.0\"\n",
          "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"}) {
        EXPECT_NE(report.find(line), std::string::npos) << "missing: " << line << "\nin:\n"
                                                        << report;
    }
}

// The Windows C runtime's rename refuses an existing target; dravon-pack.exe must replace it.
TEST(WindowsDravonPack, RewritesAnExistingFile) {
    fs::path build = Environment("DRAVON_E2E_WINDOWS_BUILD");
    fs::path folder = fs::path(Environment("DRAVON_E2E_WORK")) / "pack";
    fs::create_directories(folder);
    fs::path out = folder / "version.dat";
    WriteFile(out, "an older file");
    for (const char* version : {"1.00", "1.01"}) {
        int status = 0;
        Capture("wine '" + (build / "dravon-pack.exe").string() + "' device \"$(winepath -w '" +
                    out.string() + "' 2>/dev/null)\" --region 1 --model 0x12 --version " + version +
                    " 2>&1",
                &status);
        EXPECT_EQ(status, 0) << version;
        EXPECT_EQ(ReadFile(out),
                  record_bytes::AsText(record_bytes::DeviceRecord(1, 0x12, version)));
    }
}

}  // namespace
