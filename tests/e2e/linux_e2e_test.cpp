/* tests/e2e/linux_e2e_test.cpp: the scenarios (scenarios.cpp) run with the native
 * dravon-updater on real volumes, its GTK dialogs read and pressed over AT-SPI.
 *
 * Each drive of a scenario becomes a file-system image of its label (FAT by default,
 * written with mtools), attached to a loop device and mounted with fusefat (this kind of
 * machine has no kernel FAT driver), in the drives' order, so that the mount table lists
 * them as a PC lists its drives. The updater runs through atspi-driver, which prints the
 * same transcript as dialog-driver.exe; the volumes are then unmounted and read back, and
 * checked with fsck. Loop devices and mounts need root. A scenario on a real kernel runs
 * the updater in a guest of Debian's kernel instead (real-kernel), on its own vfat or exfat
 * driver, and the guest reports the transcript and the device's files.
 *
 * desktop-session sets DISPLAY, DBUS_SESSION_BUS_ADDRESS and the DRAVON_* variables used. */
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/scenarios.h"

namespace {

using namespace e2e;

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// Runs a shell command; its output, and a test failure unless it succeeds.
std::string Shell(const std::string& command) {
    int status = 0;
    std::string output = Capture(command + " 2>&1", &status);
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return output;
}

// FAT keeps no case for short names: compare them as Windows would show them.
Files InLowerCase(const Files& files) {
    Files lower;
    for (const auto& [name, content] : files) {
        std::string folded = name;
        for (char& c : folded) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        lower[folded] = content;
    }
    return lower;
}

// One drive of a scenario as a mounted volume.
struct Volume {
    fs::path image;
    fs::path mountPoint;
    std::string fileSystem;
    std::string loop;  // the loop device, while attached
    std::string fuse;  // the id of the fusefat process serving a FAT volume
    fs::path folder;   // for a fault device: the folder that it serves
    FaultDevice faultDevice;
};

class LinuxEndToEnd : public ::testing::TestWithParam<Scenario> {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "loop devices and mounts need root";
        }
        world.root = fs::path(Environment("DRAVON_E2E_WORK")) / GetParam().name;
        world.program = world.root / GetParam().programFolder;
        fs::remove_all(world.root);
        fs::create_directories(world.program);
        fs::copy_file(fs::path(Environment("DRAVON_E2E_LINUX_BUILD")) / "dravon-updater",
                      world.program / "dravon-updater");
        SetUpUsualWorld(world);
    }

    // The last mounted first: one may lie over another.
    void TearDown() override {
        for (auto volume = volumes.rbegin(); volume != volumes.rend(); ++volume) {
            Unmount(*volume);
        }
    }

    // A volume of the drive's label holding the drive folder's files, mounted; a fault
    // device at a mount point named by the label, where the updater finds it by that name.
    void Mount(char letter, const fs::path& folder) {
        const Scenario& s = GetParam();
        Volume volume;
        if (s.faults != nullptr && letter == s.deviceLetter) {
            volume.folder = folder;
            volume.mountPoint = world.root / "fault" / world.Label(letter);
            const bool mounted = volume.faultDevice.Mount(folder, volume.mountPoint, s.faults);
            volumes.push_back(volume);
            ASSERT_TRUE(mounted);
            return;
        }
        volume.fileSystem = s.fileSystem;
        volume.image = world.root / (std::string("volume-") + letter + ".img");
        std::string label = world.Label(letter);
        // Where a desktop mounts it, by its label, for a user who can't read the device; or
        // over the device, hiding it.
        const char at = letter == s.hidesDevice ? s.deviceLetter : letter;
        volume.mountPoint = world.root / (s.unprivileged ? "media" : "mnt") /
                            (s.unprivileged ? label : std::string(1, at));
        fs::create_directories(volume.mountPoint);
        const int mountsBefore = MountsAt(volume.mountPoint);
        Shell("truncate -s " + std::to_string(s.volumeKiB) + "K " + Quoted(volume.image));
        volume.loop = "";
        if (volume.fileSystem == "ext4") {
            Shell("mkfs.ext4 -q -L '" + label + "' " + Quoted(volume.image));
            volume.loop = Shell("losetup -f --show " + Quoted(volume.image));
            volume.loop.erase(volume.loop.find_last_not_of('\n') + 1);
            Shell("mount " + volume.loop + " " + Quoted(volume.mountPoint));
            for (const auto& [name, content] : FilesIn(folder)) {
                WriteFile(volume.mountPoint / name, content);
            }
            for (const auto& entry : fs::directory_iterator(folder)) {
                if (entry.is_symlink()) {
                    fs::copy_symlink(entry.path(), volume.mountPoint / entry.path().filename());
                }
            }
            Shell("sync");
        } else {
            Shell("mkfs.vfat -n '" + label + "' " + Quoted(volume.image) + " >/dev/null");
            for (const auto& [name, content] : FilesIn(folder)) {
                Shell("MTOOLS_SKIP_CHECK=1 mcopy -i " + Quoted(volume.image) + " " +
                      Quoted(folder / name) + " ::" + name);
            }
            volume.loop = Shell("losetup -f --show " + Quoted(volume.image));
            volume.loop.erase(volume.loop.find_last_not_of('\n') + 1);
            std::string options = "rw+,blkdev,fsname=" + volume.loop;
            if (s.unprivileged) {
                options += ",allow_other,uid=65534,gid=65534";
            }
            if (letter == s.hidesDevice) {
                options += ",nonempty";  // over the device's mount point
            }
            volume.fuse = Shell("fusefat -f -o " + options + " " + volume.loop + " " +
                                Quoted(volume.mountPoint) + " >/dev/null 2>&1 & echo $!");
            volume.fuse.erase(volume.fuse.find_last_not_of('\n') + 1);
        }
        volumes.push_back(volume);  // detached by TearDown, whether the mount appears or not
        for (int i = 0; i < 200 && MountsAt(volume.mountPoint) == mountsBefore; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_GT(MountsAt(volume.mountPoint), mountsBefore) << volume.mountPoint;
    }

    void Unmount(Volume& volume) {
        volume.faultDevice.Unmount();
        if (Mounted(volume.mountPoint)) {
            Shell("umount " + Quoted(volume.mountPoint));
        }
        // fusefat writes the image back as it ends, after the unmount.
        WaitUntilEnded(volume.fuse);
        volume.fuse.clear();
        if (!volume.loop.empty()) {
            Shell("losetup -d " + volume.loop);
            volume.loop.clear();
        }
    }

    // The files on an unmounted volume, read from its image, and whether it checks clean.
    Files ReadBack(const Volume& volume) {
        if (!volume.folder.empty()) {
            return FilesIn(volume.folder);
        }
        fs::path folder = volume.image.string() + ".files";
        fs::create_directories(folder);
        if (volume.fileSystem == "ext4") {
            Shell("e2fsck -fn " + Quoted(volume.image) + " >/dev/null");
            Shell("mount -o ro,loop " + Quoted(volume.image) + " " + Quoted(volume.mountPoint));
            Files files = FilesIn(volume.mountPoint);
            Shell("umount " + Quoted(volume.mountPoint));
            return files;
        }
        Shell("fsck.fat -n " + Quoted(volume.image) + " >/dev/null");
        Shell("MTOOLS_SKIP_CHECK=1 mcopy -n -i " + Quoted(volume.image) + " '::*' " +
              Quoted(folder) + " 2>/dev/null || true");
        return InLowerCase(FilesIn(folder));
    }

    // The stick swapped while the question waits: the device's volume unmounted and another
    // one, labelled DRAVONUD with another serial, mounted at the same folder from the same
    // loop device. Its image, and a copy of it as it was, lie in the world's folder.
    std::string SwapCommand(const Volume& device) {
        const fs::path other = world.root / "other.img";
        Shell("truncate -s 4096K " + Quoted(other) + " && mkfs.vfat -n DRAVONUD -i 5A5A1234 " +
              Quoted(other) + " >/dev/null");
        for (const auto& [name, content] : FilesIn(world.drives.at('e'))) {
            Shell("MTOOLS_SKIP_CHECK=1 mcopy -i " + Quoted(other) + " " +
                  Quoted(world.drives.at('e') / name) + " ::" + name);
        }
        fs::copy_file(other, world.root / "other-before.img");
        const std::string at = Quoted(device.mountPoint);
        return "umount " + at + " && while kill -0 " + device.fuse +
               " 2>/dev/null; do sleep 0.05; done && losetup -d " + device.loop +
               " && for i in $(seq 50); do losetup " + device.loop + " " + Quoted(other) +
               " 2>/dev/null && break; sleep 0.1; done && { fusefat -f -o rw+,blkdev,fsname=" +
               device.loop + " " + device.loop + " " + at + " >/dev/null 2>&1 & echo $! >" +
               Quoted(world.root / "other.pid") + "; } && for i in $(seq 100); do findmnt " + at +
               " >/dev/null && break; sleep 0.05; done && findmnt " + at + " >/dev/null";
    }

    // After the swap: the other volume's fusefat ended, and its image as it was.
    void CheckTheOtherVolume() {
        WaitUntilEnded(ReadFile(world.root / "other.pid").substr(0, 20));
        EXPECT_EQ(ReadFile(world.root / "other.img"), ReadFile(world.root / "other-before.img"))
            << "the other volume was written";
    }

    std::string RunUpdater(const Scenario& s) {
        std::string driver = Environment("DRAVON_E2E_SOURCE") + "/tests/e2e/atspi-driver";
        std::string command = driver + " --timeout 20";
        for (const Dialog& d : s.dialogs) {
            command += " --answer " + d.pressed;
        }
        if (s.secondInstance) {
            command += " --second-instance";
        }
        if (s.endSession) {
            command += " --terminate-after 1";
        }
        if (s.swapAtQuestion) {
            const auto device = world.drives.find(s.deviceLetter);
            command += " --before-answer " +
                       Quoted(SwapCommand(volumes.at(std::distance(world.drives.begin(), device))));
        }
        if (s.watchProgress) {
            command += " --watch-progress --paused " + std::to_string(s.progressPause);
        }
        if (s.terminal) {
            command += " --terminal";
        }
        if (s.detached) {
            command += " --detached";
        }
        if (s.noRuntimeDir) {
            command = "env -u XDG_RUNTIME_DIR " + command;
        }
        command += " " + Quoted(world.program / "dravon-updater");
        if (s.unprivileged) {
            // Its own lock folder, as it has no XDG_RUNTIME_DIR; and no blkid cache that a
            // root tool may have left, so that the label comes from the mount point's name.
            command = "env -u XDG_RUNTIME_DIR HOME=/nonexistent BLKID_FILE=" +
                      Quoted(world.root / "no-blkid-cache") +
                      " setpriv --reuid=nobody "
                      "--regid=nogroup --clear-groups " +
                      command;
        }
        int status = 0;
        BusyProcesses busy(s.busyProcesses);
        std::string transcript =
            Capture("cd " + Quoted(world.root) + " && " + command + " 2>/dev/null", &status);
        EXPECT_EQ(status, 0) << "atspi-driver reported a fault";
        return transcript;
    }

    // The updater run in a guest of a real kernel over the device's files (real-kernel): its
    // transcript, and in `deviceAfter` the device's files afterwards.
    std::string RunOnRealKernel(const Scenario& s, const fs::path& deviceAfter) {
        const fs::path work = world.root / "real-kernel";
        const bool answeredNo = std::any_of(s.dialogs.begin(), s.dialogs.end(),
                                            [](const Dialog& d) { return d.pressed == "IDNO"; });
        int status = 0;
        std::string report = Capture(
            Environment("DRAVON_E2E_SOURCE") + "/tests/e2e/real-kernel run " +
                Quoted(Environment("DRAVON_E2E_REAL_KERNEL")) + " " +
                Quoted(Environment("DRAVON_E2E_INITRAMFS")) + " --fs " + s.fileSystem + " " +
                s.realKernel + (answeredNo ? " --answer n " : " ") + Quoted(world.program) + " " +
                Quoted(world.drives.at(s.deviceLetter)) + " " + Quoted(work),
            &status);
        EXPECT_EQ(status, 0) << "real-kernel reported a fault";
        fs::rename(work / "device-after", deviceAfter);
        return report;
    }

    World world;
    std::vector<Volume> volumes;
};

TEST_P(LinuxEndToEnd, ShowsTheRightDialogsAndLeavesTheDeviceRight) {
    const Scenario& s = GetParam();
    s.change(world);
    world.WriteIni();
    if (s.realKernel != nullptr) {
        const fs::path device = world.drives.at(s.deviceLetter);
        Files expected = ExpectedFiles(s, world, s.deviceLetter, FilesIn(device));
        const fs::path after = world.root / "device-after";
        EXPECT_EQ(RunOnRealKernel(s, after), ExpectedTranscript(s, /*icons=*/false));
        Files actual = InLowerCase(FilesIn(after));
        LeaveOutWhatAPullKeeps(s, actual, expected);
        EXPECT_EQ(Summary(actual), Summary(expected));
        return;
    }
    if (s.unprivileged) {
        Shell("chmod -R a+rX " + Quoted(world.root));  // the program's files readable to it
    }
    std::map<char, Files> before;
    for (const auto& [letter, folder] : world.drives) {
        before[letter] = FilesIn(folder);
        ASSERT_NO_FATAL_FAILURE(Mount(letter, folder));
    }

    EXPECT_EQ(RunUpdater(s), ExpectedTranscript(s, /*icons=*/!s.terminal && !s.detached));
    if (s.check) {
        s.check(world);
    }

    TearDown();
    if (s.swapAtQuestion) {
        CheckTheOtherVolume();
    }
    std::size_t index = 0;
    for (const auto& [letter, folder] : world.drives) {
        Volume& volume = volumes[index++];
        Files expected = ExpectedFiles(s, world, letter, before[letter]);
        Files actual = ReadBack(volume);
        LeaveOutWhatAPullKeeps(s, actual, expected);
        EXPECT_EQ(Summary(actual), Summary(expected)) << "drive " << letter << ":";
        EXPECT_EQ(volume.faultDevice.WritesInPlace(), "") << "drive " << letter << ":";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, LinuxEndToEnd,
                         ::testing::ValuesIn(ScenariosFor(Systems::LinuxOnly)),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
