/* tests/e2e/scenarios.h: the end-to-end scenarios, one table for both runners: the Windows
 * one (windows_e2e_test.cpp, the exe under Wine) and the Linux one (linux_e2e_test.cpp, the
 * native program on real volumes). A scenario that only one system can express says so.
 *
 * A scenario changes the usual world (a program folder with the updater, UPDATE.INI and
 * the package; a drive D: labelled DATA; the device on E:), and then expects a transcript
 * of the dialogs and the device's files afterwards. Drives are folders here; each runner
 * turns them into what its system has (Wine drive letters, or mounted volumes). */
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;  // file name -> content

// The regular files of a folder (not links) but the Wine label file, by name.
Files FilesIn(const fs::path& folder);

// One line per file, its name, size and a hash of its bytes: what a failure prints.
std::string Summary(const Files& files);

struct World {
    fs::path root;
    fs::path program;
    std::map<char, fs::path> drives;  // letter -> folder, its label in .windows-label
    std::vector<std::pair<std::string, std::string>> ini;
    std::string debugSection;  // appended as [DEBUG] when not empty
    bool writeIni = true;

    // Makes the folder of drive `letter` with its volume label.
    fs::path Drive(char letter, const std::string& label);
    std::string Label(char letter) const;
    void RemoveIniKey(const std::string& key);
    void SetIniValue(const std::string& key, const std::string& value);
    void WriteIni() const;
};

// The usual world in `world.root`, the program in `world.program`, which must exist.
void SetUpUsualWorld(World& world);

struct Dialog {
    std::string caption;
    std::string text;  // as the box shows it, line feeds and all
    std::string buttons;
    std::string pressed;
    std::string icon;  // as Linux's accessibility names it: Error, Question, Information
};

// HeaderWithoutPayload: the new header, and no payload (its old one removed to make room).
enum class DeviceAfter { Untouched, BothCopied, HeaderOnly, HeaderWithoutPayload };
enum class Systems { Both, WindowsOnly, LinuxOnly };

struct Scenario {
    const char* name;
    std::function<void(World&)> change;  // applied after the usual world is set up
    std::vector<Dialog> dialogs;
    DeviceAfter device = DeviceAfter::Untouched;
    char deviceLetter = 'e';
    bool secondInstance = false;
    const char* programFolder = "prog";  // as the file system spells it (UTF-8)
    Systems systems = Systems::Both;
    // Windows only
    bool holdRecordsOpen = false;  // version.dat and update.udx open for writing elsewhere
    // the device's update.udx open for writing elsewhere, as a scanner holds a file: for half
    // a second after the answer Yes (Briefly), or all the run
    // or, sharing reading only, the moved update.udx for half a second after its move
    enum class Scanner { None, Briefly, Throughout, AfterTheMove } scanner = Scanner::None;
    const char* dllOverrides = "";  // added to WINEDLLOVERRIDES for this run
    // Linux only
    bool terminal = false;      // no display: the boxes on a terminal, answered there
    bool unprivileged = false;  // run as nobody, volumes mounted where desktops mount them
    const char* fileSystem = "vfat";
    unsigned volumeKiB = 4096;
    // Both: the device served by tests/e2e/fault-device with these faults (its options), its
    // log checked for a package file written in place; nullptr for a plain drive.
    const char* faults = nullptr;
    bool pulled = false;  // the stick was pulled: a temporary file may stay on it
    // Both: the driver watches the progress window from Yes to the next dialog; the bar is
    // to rise before and after a pause of this many seconds (a write that stalls), if any.
    bool watchProgress = false;
    int progressPause = 0;
    int busyProcesses = 0;  // Both: processes that keep the CPU busy beside the run
    // Both: the session ends a second after the answer Yes, while a write stalls: on Windows
    // the progress window is asked WM_QUERYENDSESSION, on Linux the program gets SIGTERM.
    // What the driver then says, and the program's exit status.
    const char* endSession = nullptr;
    int exitStatus = 0;
    std::function<void(const World&)> check = nullptr;  // checks of its own after the run
    // Linux only
    bool detached = false;        // no display, and standard input not a terminal
    bool noRuntimeDir = false;    // XDG_RUNTIME_DIR unset: the lock goes to /tmp
    char hidesDevice = 0;         // this drive is mounted over the device's mount point, later
    bool swapAtQuestion = false;  // another stick takes the device's place while it asks
    // Linux only: the device is a disk of a real kernel booted under QEMU (real-kernel), of
    // `fileSystem`, run with these options of real-kernel ("--replay", "--flakey FEATURES");
    // what real-kernel reports after the exit line is `kernelReport`.
    const char* realKernel = nullptr;
    const char* kernelReport = "";
};

void PrintTo(const Scenario& s, std::ostream* os);

// The scenarios that `system` can run.
std::vector<Scenario> ScenariosFor(Systems system);

// The files of drive `letter` after the run: those before it, and on the device the
// package's files that the scenario expects copied.
Files ExpectedFiles(const Scenario& s, const World& world, char letter, Files before);

// Leaves out of `actual` the files that a pulled stick may keep beside `expected`: what it
// had of a temporary file, whatever its name.
void LeaveOutWhatAPullKeeps(const Scenario& s, Files& actual, const Files& expected);

// What the driver prints for the scenario: with an icon line per dialog where it reads them.
std::string ExpectedTranscript(const Scenario& s, bool icons);

}  // namespace e2e
