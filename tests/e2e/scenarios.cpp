/* tests/e2e/scenarios.cpp: the end-to-end scenarios and the world they start from. */
#include "tests/e2e/scenarios.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "tests/e2e/e2e_support.h"
#include "tests/record_bytes.h"

namespace e2e {

namespace {

// Records laid out by the tests' own hand (record_bytes.h), never by the product's encoder.
void PutDeviceRecord(const fs::path& out, unsigned region, unsigned model,
                     const std::string& version) {
    WriteFile(out, record_bytes::AsText(record_bytes::DeviceRecord(region, model, version)));
}

// A package header followed by `payload` bytes of a pattern.
void PutPackage(const fs::path& out, unsigned region, unsigned model, const std::string& version,
                unsigned payload = 0) {
    std::string bytes = record_bytes::AsText(record_bytes::PackageHeader(region, model, version));
    for (unsigned i = 0; i < payload; ++i) {
        bytes += static_cast<char>(i * 131 + 7);
    }
    WriteFile(out, bytes);
}

void FlipBit(const fs::path& path, std::size_t offset) {
    std::string bytes = ReadFile(path);
    ASSERT_LT(offset, bytes.size());
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x04);
    WriteFile(path, bytes);
}

void Truncate(const fs::path& path, std::size_t size) {
    fs::resize_file(path, size);
}

// The dialog texts that every scenario starts from; CURRENT and UPDATE are quoted so that
// the profile reader keeps their trailing blank.
const std::vector<std::pair<std::string, std::string>> kIniTexts = {
    {"TITLE", "Dravon Updater"},
    {"NODRAVON", "The device was not found.\\nConnect it and try again."},
    {"CONFIRM", "Do you want to update the firmware?"},
    {"NOUPDATE", "This update is not for your device."},
    {"NONEED", "The firmware is already up to date."},
    {"CURRENT", "\"Current version : \""},
    {"UPDATE", "\"Update version  : \""},
    {"FINISH", "The update was copied.\\nRestart the device."},
    {"ERROR", "Error"},
};

const std::string kTitle = "Dravon Updater";
const std::string kQuestionText =
    "Current version : 1.00\nUpdate version  : 1.01\n\nDo you want to update the firmware?";
const Dialog kQuestionYes = {kTitle, kQuestionText, "IDYES IDNO", "IDYES", "Question"};
const Dialog kQuestionNo = {kTitle, kQuestionText, "IDYES IDNO", "IDNO", "Question"};
const Dialog kFinished = {kTitle, "The update was copied.\nRestart the device.", "IDOK", "IDOK",
                          "Information"};
const Dialog kNoDevice = {kTitle, "The device was not found.\nConnect it and try again.", "IDOK",
                          "IDOK", "Error"};

Dialog ErrorBox(const std::string& code, const std::string& caption = kTitle) {
    return {caption, "Error CODE : 0x" + code, "IDOK", "IDOK", "Error"};
}

Dialog Refusal(const std::string& models, const std::string& regions) {
    return {kTitle,
            "This update is not for your device.\n\nModel  " + models + "\nRegion " + regions,
            "IDOK", "IDOK", "Error"};
}

Dialog NoNeed(const std::string& device, const std::string& package) {
    return {kTitle,
            "Current version : " + device + "\nUpdate version  : " + package +
                "\n\nThe firmware is already up to date.",
            "IDOK", "IDOK", "Information"};
}

// A package already on the device, which a failed copy must leave whole; the new one is
// larger than a page of the system's cache, whose whole pages it keeps after a write.
void PutOldPackage(World& w) {
    WriteFile(w.drives['e'] / "update.udx", "an older header");
    WriteFile(w.drives['e'] / "update.udi", std::string(3000, 'o'));
    PutPackage(w.program / "update.udx", 1, 0x12, "1.01", 6000);
}

const std::vector<Dialog> kCopyFails = {kQuestionYes, ErrorBox("50")};

// A device that fails as sticks fail: each copy is one write of update.udx (6512 bytes),
// then one of update.udi (5000 bytes); each row counts the calls of its kind from 1.
Scenario OnFaultDevice(const char* name, const char* faults, DeviceAfter device,
                       Systems systems = Systems::Both) {
    return {.name = name,
            .change = PutOldPackage,
            .dialogs = device == DeviceAfter::BothCopied ? std::vector{kQuestionYes, kFinished}
                                                         : kCopyFails,
            .device = device,
            .systems = systems,
            .faults = faults,
            .pulled = std::string_view(faults).find("--pull-after") != std::string_view::npos};
}

// The device on a real kernel's own driver, as desktops mount it: the stick pulled at every
// step of the copy (its block writes replayed), or a stick that fails under dm-flakey.
constexpr char kEveryCrashPointRight[] =
    "crash points at flushes: each package file old or new and whole, fsck clean\n"
    "crash points between flushes: each package file old or new and whole\n"
    "crash points from the finished notice on: both files new\n";
// exfat writes a rename whose entries lie in two folder sectors as two writes at once.
constexpr char kEveryCrashPointRightButATornRename[] =
    "crash points at flushes: each package file old or new and whole, fsck clean\n"
    "crash points between flushes: each package file old or new and whole, but where a "
    "rename's folder entries lie in two sectors and only one was written\n"
    "crash points from the finished notice on: both files new\n";

Scenario PulledAtEveryStep(const char* name, const char* fileSystem, void (*change)(World&),
                           const char* report = kEveryCrashPointRight,
                           const char* options = "--replay") {
    return {.name = name,
            .change = change,
            .dialogs = {kQuestionYes, kFinished},
            .device = DeviceAfter::BothCopied,
            .systems = Systems::LinuxOnly,
            .fileSystem = fileSystem,
            .realKernel = options,
            .kernelReport = report};
}

// A 16 MiB device sized for one package: an older 9 MiB update.udi leaves about 7 MiB free,
// and the new one is 9 MiB too. Its old file goes before the new one is written.
constexpr char kRoomForOnePackage[] = "--replay --absent-ok --stick-mib 16";
constexpr char kEveryCrashPointRightOrAbsent[] =
    "crash points at flushes: each package file old, new or absent and whole, fsck clean\n"
    "crash points between flushes: each package file old, new or absent and whole\n"
    "crash points from the finished notice on: both files new\n";

void PutPackageForOneRoom(World& w) {
    WriteFile(w.drives['e'] / "update.udx", "an older header");
    WriteFile(w.drives['e'] / "update.udi", std::string(9 << 20, 'o'));
    PutPackage(w.program / "update.udx", 1, 0x12, "1.01", 6000);
    WriteFile(w.program / "update.udi", std::string(9 << 20, 'n'));
}

Scenario FailingUnderTheKernel(const char* name, const char* fileSystem, const char* flakey) {
    return {.name = name,
            .change = PutOldPackage,
            .dialogs = kCopyFails,
            .systems = Systems::LinuxOnly,
            .fileSystem = fileSystem,
            .pulled = true,
            .realKernel = flakey};
}

// The device as a desktop's storage stack serves it: a USB stick in a guest with udev,
// udisks2 and polkit, its user logged in on the console; `stick` is how the stick is found
// (real-kernel's --desktop), and the question is answered as `dialogs` say.
Scenario OnTheDesktopStack(const char* name, const char* stick, std::vector<Dialog> dialogs,
                           const char* report) {
    const bool copied = dialogs.back().text == kFinished.text;
    return {.name = name,
            .change = PutOldPackage,
            .dialogs = std::move(dialogs),
            .device = copied ? DeviceAfter::BothCopied : DeviceAfter::Untouched,
            .systems = Systems::LinuxOnly,
            .pulled = std::string_view(stick).find("pulled") != std::string_view::npos,
            .realKernel = stick,
            .kernelReport = report};
}

Scenario OnSlowDevice(const char* name, const char* faults, int pause = 0, int busy = 0) {
    return {.name = name,
            .change =
                [](World& w) {
                    PutOldPackage(w);
                    WriteFile(w.program / "update.udi", std::string(2 << 20, 'S'));
                },
            .dialogs = {kQuestionYes, kFinished},
            .device = DeviceAfter::BothCopied,
            .faults = faults,
            .watchProgress = true,
            .progressPause = pause,
            .busyProcesses = busy};
}

// The session ends a second after Yes, while the payload's first write stalls for four: the
// copy runs to its end all the same. On Windows a logoff is refused while it runs; on Linux
// SIGTERM takes effect after it.
Scenario EndingTheSession(const char* name, Systems systems, std::vector<Dialog> dialogs,
                          const char* said, int exitStatus) {
    Scenario s = OnSlowDevice(name, "--stall 2:4");
    s.dialogs = std::move(dialogs);
    s.systems = systems;
    s.watchProgress = false;
    s.endSession = said;
    s.exitStatus = exitStatus;
    return s;
}

// The lock folder that a user without XDG_RUNTIME_DIR gets in /tmp, made beforehand as
// `make` says (by another user, say); the run goes on as a first instance, and nothing is
// created in it.
Scenario WithLockFolder(const char* name, void (*make)(const fs::path& folder, World& w)) {
    static const fs::path folder = "/tmp/dravon-updater-" + std::to_string(getuid());
    return {.name = name,
            .change =
                [make](World& w) {
                    fs::remove_all(folder);
                    make(folder, w);
                },
            .dialogs = {kQuestionYes, kFinished},
            .device = DeviceAfter::BothCopied,
            .systems = Systems::LinuxOnly,
            .check =
                [](const World&) {
                    EXPECT_TRUE(fs::is_empty(folder)) << "the lock was made in " << folder;
                    fs::remove_all(folder);
                },
            .noRuntimeDir = true};
}

const Scenario kScenarios[] = {
    {"OfferAnsweredYes", [](World&) {}, {kQuestionYes, kFinished}, DeviceAfter::BothCopied},
    {"OfferAnsweredNo", [](World&) {}, {kQuestionNo}},
    {"FilesOnTheDeviceAreReplaced",
     [](World& w) {
         WriteFile(w.drives['e'] / "update.udx", "old header");
         WriteFile(w.drives['e'] / "update.udi", std::string(9000, 'o'));
     },
     {kQuestionYes, kFinished},
     DeviceAfter::BothCopied},
    {"NoDevice",
     [](World& w) {
         fs::remove_all(w.drives['e']);
         w.drives.erase('e');
         PutDeviceRecord(w.Drive('f', "dravonud") / "version.dat", 1, 0x12, "1.00");
         PutDeviceRecord(w.Drive('g', "DRAVONUDX") / "version.dat", 1, 0x12, "1.00");
     },
     {kNoDevice}},
    {"DeviceOnALaterDrive",
     [](World& w) {
         fs::remove_all(w.drives['e']);
         w.drives.erase('e');
         w.Drive('f', "SYSTEM");
         PutDeviceRecord(w.Drive('h', "DRAVONUD") / "version.dat", 1, 0x12, "1.00");
     },
     {kQuestionYes, kFinished},
     DeviceAfter::BothCopied,
     'h'},
    {"FirstOfTwoDevices",
     [](World& w) { PutDeviceRecord(w.Drive('g', "DRAVONUD") / "version.dat", 1, 0x12, "0.50"); },
     {kQuestionYes, kFinished},
     DeviceAfter::BothCopied},
    {"EqualVersionsNeedNothing",
     [](World& w) { PutDeviceRecord(w.drives['e'] / "version.dat", 1, 0x12, "1.01"); },
     {NoNeed("1.01", "1.01")}},
    {"NewerDeviceNeedsNothing",
     [](World& w) { PutDeviceRecord(w.drives['e'] / "version.dat", 1, 0x12, "1.10"); },
     {NoNeed("1.10", "1.01")}},
    {"DeviceRecordMissing",
     [](World& w) { fs::remove(w.drives['e'] / "version.dat"); },
     {ErrorBox("10")}},
    {"DeviceRecordShort",
     [](World& w) { Truncate(w.drives['e'] / "version.dat", 27); },
     {ErrorBox("11")}},
    {"DeviceRecordCorrupt",
     [](World& w) { FlipBit(w.drives['e'] / "version.dat", 20); },
     {ErrorBox("12")}},
    {"PackageMissing", [](World& w) { fs::remove(w.program / "update.udx"); }, {ErrorBox("20")}},
    {"PackageShort", [](World& w) { Truncate(w.program / "update.udx", 511); }, {ErrorBox("21")}},
    {"PackageCorrupt", [](World& w) { FlipBit(w.program / "update.udx", 300); }, {ErrorBox("22")}},
    {"OtherRegion",
     [](World& w) { PutPackage(w.program / "update.udx", 2, 0x12, "1.01", 100); },
     {Refusal("00000012:00000012", "00000001:00000002")}},
    {"OtherModel",
     [](World& w) { PutPackage(w.program / "update.udx", 1, 0x13, "1.01", 100); },
     {Refusal("00000012:00000013", "00000001:00000001")}},
    {"BypassWithUpperCaseYes",
     [](World& w) {
         PutPackage(w.program / "update.udx", 1, 0x13, "1.01", 100);
         w.debugSection = "DISABLE_VER=YES";
     },
     {kQuestionNo}},
    {"NoBypassWithLowerCaseYes",
     [](World& w) {
         PutPackage(w.program / "update.udx", 1, 0x13, "1.01", 100);
         w.debugSection = "DISABLE_VER=yes";
     },
     {Refusal("00000012:00000013", "00000001:00000001")}},
    {"CatalogueMissing", [](World& w) { w.writeIni = false; }, {ErrorBox("00", "")}},
    {"CatalogueKeyMissing", [](World& w) { w.RemoveIniKey("FINISH"); }, {ErrorBox("00")}},
    {"TransferFailsWithoutPayload",
     [](World& w) { fs::remove(w.program / "update.udi"); },
     {kQuestionYes, ErrorBox("50")},
     DeviceAfter::HeaderOnly},
    {"SecondInstanceEndsSilently", [](World&) {}, {kQuestionNo}, DeviceAfter::Untouched, 'e', true},
    // Copies of read-only files are left writable, and read-only files on the device are
    // replaced (Wine shows a file without write permission as read-only).
    {"ReadOnlyFilesAreReplacedAndLeftWritable",
     [](World& w) {
         WriteFile(w.drives['e'] / "update.udx", "old header");
         for (const fs::path& file :
              {w.program / "update.udx", w.program / "update.udi", w.drives['e'] / "update.udx"}) {
             fs::permissions(
                 file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                 fs::perm_options::remove);
         }
     },
     {kQuestionYes, kFinished},
     DeviceAfter::BothCopied,
     'e',
     false,
     "prog",
     Systems::WindowsOnly},
    // Folder names that the ANSI code page (1252 here) can't spell: the program must read
    // its own folder, never a look-alike that Windows's best fit would name.
    {.name = "FolderNamedInCyrillic",
     .change = [](World&) {},
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .programFolder = "Дравон"},
    {.name = "LookAlikeFolderBesideIsNeverRead",
     .change =
         [](World& w) {
             fs::path decoy = w.root / "Dravon Tools";
             fs::create_directories(decoy);
             WriteFile(decoy / "UPDATE.INI",
                       "[INIT]\r\nTITLE=Decoy\r\nNODRAVON=x\r\nCONFIRM=x\r\n"
                       "NOUPDATE=x\r\nNONEED=x\r\nCURRENT=x\r\nUPDATE=x\r\n"
                       "FINISH=x\r\nERROR=x\r\n");
             PutPackage(decoy / "update.udx", 1, 0x12, "1.02", 10);
             WriteFile(decoy / "update.udi", "decoy");
         },
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .programFolder = "Drāvon Tools"},
    // Letters in every hexadecimal field of the refusal, on both sides of the colon.
    {"RefusalInUpperCaseHex",
     [](World& w) {
         PutDeviceRecord(w.drives['e'] / "version.dat", 0xABC, 0xDEF12, "1.00");
         PutPackage(w.program / "update.udx", 0xFED, 0xCBA98, "1.01");
     },
     {Refusal("000DEF12:000CBA98", "00000ABC:00000FED")}},
    // Another program (a sync tool, a virus scanner) has both records open for writing.
    {.name = "RecordsHeldOpenByAnotherProgram",
     .change = [](World&) {},
     .dialogs = {kQuestionNo},
     .systems = Systems::WindowsOnly,
     .holdRecordsOpen = true},
    // A DLL planted beside the exe, of a name that the dialogs load after start-up: loaded
    // only if the exe's restriction to the system folder is missing. (Wine prefers its own
    // DLLs unless told to take one from a file.)
    {.name = "DllPlantedBesideTheExeIsNotLoaded",
     .change =
         [](World& w) {
             fs::copy_file(fs::path(Environment("DRAVON_E2E_WINDOWS_BUILD")) / "planted.dll",
                           w.program / "uxtheme.dll");
         },
     .dialogs = {kQuestionNo},
     .systems = Systems::WindowsOnly,
     .dllOverrides = "uxtheme=n,b"},
    // A scanner that holds the old file on the device for a moment delays its replacement;
    // one that holds it all the while fails the copy, and the old file stays.
    {.name = "ScannerHoldsTheOldFileForAMoment",
     .change = PutOldPackage,
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::WindowsOnly,
     .scanner = Scenario::Scanner::Briefly},
    {.name = "ScannerHoldsTheOldFileThroughout",
     .change = PutOldPackage,
     .dialogs = kCopyFails,
     .systems = Systems::WindowsOnly,
     .scanner = Scenario::Scanner::Throughout},
    // Linux: the terminal when there is no display, an unprivileged user whose desktop
    // mounts volumes by their label, a full volume, another file system.
    {.name = "AnsweredOnATerminal",
     .change = [](World&) {},
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::LinuxOnly,
     .terminal = true},
    {.name = "UnprivilegedUserFindsTheDeviceByItsMountPoint",
     .change = [](World&) {},
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::LinuxOnly,
     .terminal = true,
     .unprivileged = true},
    // A package larger than the volume: the copy is not begun, and nothing is left on it.
    {.name = "FullVolumeLeavesNoTemporaryFile",
     .change = [](World& w) { WriteFile(w.program / "update.udi", std::string(3 << 20, 'F')); },
     .dialogs = {kQuestionYes, ErrorBox("50")},
     .device = DeviceAfter::Untouched,
     .systems = Systems::LinuxOnly,
     .volumeKiB = 2048},
    // A bundle written for Western Windows, in Windows-1252, shows its letters right.
    {.name = "IniInWindows1252ReadsAsOnWindows",
     .change = [](World& w) { w.SetIniValue("CONFIRM", "Mettre \xE0 jour le micrologiciel ?"); },
     .dialogs = {{kTitle,
                  "Current version : 1.00\nUpdate version  : 1.01\n\nMettre \xC3\xA0 jour le "
                  "micrologiciel ?",
                  "IDYES IDNO", "IDNO", "Question"}},
     .systems = Systems::LinuxOnly},
    {.name = "DeviceOnExt4",
     .change = [](World&) {},
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::LinuxOnly,
     .fileSystem = "ext4"},
    OnFaultDevice("FaultDeviceWithoutAFault", "", DeviceAfter::BothCopied),
    OnFaultDevice("TemporaryFileCannotBeCreated", "--fail create:1", DeviceAfter::Untouched),
    OnFaultDevice("PayloadWriteFails", "--fail write:2", DeviceAfter::HeaderOnly),
    OnFaultDevice("FlushFails", "--fail fsync:1", DeviceAfter::Untouched),
    OnFaultDevice("ReadBackFails", "--fail-from read:1", DeviceAfter::Untouched),
    OnFaultDevice("PayloadRenameFails", "--fail rename:2", DeviceAfter::HeaderOnly),
    // The fourth flush is the payload's under its own name: both files are in place, but the
    // device did not confirm the second, so the copy is not reported finished.
    {.name = "FlushUnderTheNewNameFails",
     .change = PutOldPackage,
     .dialogs = kCopyFails,
     .device = DeviceAfter::BothCopied,
     .faults = "--fail fsync:4"},
    OnFaultDevice("FolderFlushFails", "--fail fsyncdir:1", DeviceAfter::HeaderOnly),
    OnFaultDevice("MediumDies", "--fail-from write:1:EIO", DeviceAfter::Untouched),
    // Full while statfs says there is room: the old payload is removed, to no avail.
    OnFaultDevice("MediumFillsUp", "--fail-from write:2:ENOSPC", DeviceAfter::HeaderWithoutPayload),
    OnFaultDevice("PayloadFindsRoomOnceTheOldOneIsGone", "--fail write:2:ENOSPC",
                  DeviceAfter::BothCopied),
    // The payload's first write takes half its bytes and the rest finds no room, as Wine
    // reports a volume that fills up.
    OnFaultDevice("PayloadFillsTheDevicePartWay", "--short-write 2 --fail write:3:ENOSPC",
                  DeviceAfter::BothCopied),
    // The same with the old payload read-only, as a device may ship it.
    {.name = "ReadOnlyPayloadFindsRoomOnceTheOldOneIsGone",
     .change =
         [](World& w) {
             PutOldPackage(w);
             fs::permissions(w.drives['e'] / "update.udi", fs::perms::owner_read);
         },
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .faults = "--fail write:2:ENOSPC"},
    OnFaultDevice("HeaderBitStoredWrong", "--flip-bit 1 --kernel-cache", DeviceAfter::Untouched),
    OnFaultDevice("PayloadBitStoredWrong", "--flip-bit 2 --kernel-cache", DeviceAfter::HeaderOnly),
    OnFaultDevice("PulledDuringTheHeader", "--pull-after 1000", DeviceAfter::Untouched),
    OnFaultDevice("PulledDuringThePayload", "--pull-after 9000", DeviceAfter::HeaderOnly),
    OnFaultDevice("CloseFails", "--fail flush:1", DeviceAfter::Untouched, Systems::LinuxOnly),
    // A slow stick (2 MiB at about 3 s): the progress window rises, answers, and is gone
    // before the finished notice; also while one write stalls for 6 s, and while two other
    // programs keep both cores busy.
    OnSlowDevice("SlowDeviceShowsItsProgress", "--write-delay 0.15"),
    OnSlowDevice("SlowDeviceStallsForSixSeconds", "--write-delay 0.15 --stall 8:6", 5),
    OnSlowDevice("SlowDeviceBesideTwoBusyPrograms", "--write-delay 0.15", 0, 2),
    {.name = "StickSwappedWhileTheQuestionWaitsIsNotWritten",
     .change = PutOldPackage,
     .dialogs = kCopyFails,
     .swapAtQuestion = true},
    // The flush of the moved file waits out a scanner that does not share writing.
    {.name = "ScannerHoldsTheMovedFileForAMoment",
     .change = PutOldPackage,
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::WindowsOnly,
     .scanner = Scenario::Scanner::AfterTheMove},
    EndingTheSession("LogoffDuringTheCopyIsRefused", Systems::WindowsOnly,
                     {kQuestionYes, kFinished}, "end session asked: refused", 0),
    EndingTheSession("SigtermDuringTheCopyWaitsForIt", Systems::LinuxOnly, {kQuestionYes},
                     "sent SIGTERM during the copy", -15),
    // Started from a service or a script: the question is never taken for a Yes.
    {.name = "NoDisplayAndNoTerminalCopyNothing",
     .change = [](World&) {},
     .dialogs = {kQuestionNo},
     .systems = Systems::LinuxOnly,
     .detached = true},
    // A device with links (ext4, or any crafted image) holds one where the copy writes its
    // temporary files: it is replaced, never written through.
    {.name = "LinksAtTheTemporaryNamesAreNotFollowed",
     .change =
         [](World& w) {
             WriteFile(w.root / "outside", "a file of the PC");
             for (const char* name : {"update.udx.partial", "update.udi.partial"}) {
                 fs::create_symlink(w.root / "outside", w.drives['e'] / name);
             }
         },
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::LinuxOnly,
     .fileSystem = "ext4",
     .check = [](const World& w) { EXPECT_EQ(ReadFile(w.root / "outside"), "a file of the PC"); }},
    WithLockFolder("LockFolderOfAnotherUserIsNotUsed",
                   [](const fs::path& f, World&) {
                       fs::create_directory(f);
                       fs::permissions(f, fs::perms::owner_all);
                       ASSERT_EQ(chown(f.c_str(), 65534, 65534), 0);
                   }),
    WithLockFolder("LockFolderWritableByOthersIsNotUsed",
                   [](const fs::path& f, World&) {
                       fs::create_directory(f);
                       fs::permissions(f, fs::perms::all);
                   }),
    WithLockFolder("LockFolderThatIsALinkIsNotUsed",
                   [](const fs::path& f, World& w) {
                       fs::create_directory(w.root / "lock-target");
                       fs::permissions(w.root / "lock-target", fs::perms::owner_all);
                       fs::create_directory_symlink(w.root / "lock-target", f);
                   }),
    {.name = "EnterAloneOnATerminalAnswersYes",
     .change = [](World&) {},
     .dialogs = {{kTitle, kQuestionText, "IDYES IDNO", "ENTER", "Question"}, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::LinuxOnly,
     .terminal = true},
    // The device's folder with another volume mounted over it later: every file operation
    // there reaches the upper volume, so the device is not there.
    {.name = "DeviceHiddenByALaterMountIsNotFound",
     .change = [](World& w) { w.Drive('f', "OTHER"); },
     .dialogs = {kNoDevice},
     .systems = Systems::LinuxOnly,
     .hidesDevice = 'f'},
    PulledAtEveryStep("PulledAtEveryStepOnVfat", "vfat", PutOldPackage),
    PulledAtEveryStep("PulledAtEveryStepOnAnEmptyVfat", "vfat", [](World&) {}),
    PulledAtEveryStep("PulledAtEveryStepOnExfat", "exfat", PutOldPackage,
                      kEveryCrashPointRightButATornRename),
    FailingUnderTheKernel("WritesFailOnVfat", "vfat", "--flakey '1 error_writes'"),
    FailingUnderTheKernel("WritesDroppedOnVfat", "vfat", "--flakey '1 drop_writes'"),
    // The byte at 4 KiB into a write of data, which the package files' writes reach and the
    // file system's own writes of a sector don't.
    FailingUnderTheKernel("ByteOfAWriteCorruptedOnVfat", "vfat",
                          "--flakey '5 corrupt_bio_byte 4097 w 0 0'"),
    FailingUnderTheKernel("WritesFailOnExfat", "exfat", "--flakey '1 error_writes'"),
    FailingUnderTheKernel("WritesDroppedOnExfat", "exfat", "--flakey '1 drop_writes'"),
    FailingUnderTheKernel("ByteOfAWriteCorruptedOnExfat", "exfat",
                          "--flakey '5 corrupt_bio_byte 4097 w 0 0'"),
    PulledAtEveryStep("PulledAtEveryStepOnAVfatWithRoomForOnePackage", "vfat", PutPackageForOneRoom,
                      kEveryCrashPointRightOrAbsent, kRoomForOnePackage),
    PulledAtEveryStep("PulledAtEveryStepOnAnExfatWithRoomForOnePackage", "exfat",
                      PutPackageForOneRoom, kEveryCrashPointRightOrAbsent, kRoomForOnePackage),
    // An earlier run's temporary update.udi takes the room that the new update.udx needs.
    {.name = "LeftoverTemporaryFileIsRemovedFirst",
     .change =
         [](World& w) {
             PutPackageForOneRoom(w);
             WriteFile(w.drives['e'] / "update.udi", std::string(1 << 20, 'o'));
             WriteFile(w.drives['e'] / "update.udi.partial", std::string(12 << 20, 'l'));
             PutPackage(w.program / "update.udx", 1, 0x12, "1.01", 4 << 20);
             WriteFile(w.program / "update.udi", std::string(1 << 20, 'n'));
         },
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::LinuxOnly,
     .realKernel = "--stick-mib 16"},
    // The 16 MiB device on this machine's FAT volumes, whose driver (fusefat) fails a write
    // that finds no room with EPERM.
    {.name = "DeviceWithRoomForOnePackage",
     .change = PutPackageForOneRoom,
     .dialogs = {kQuestionYes, kFinished},
     .device = DeviceAfter::BothCopied,
     .systems = Systems::LinuxOnly,
     .volumeKiB = 16384},
    // Other files leave less room than the new package needs, even without the old one: the
    // copy is not begun.
    {.name = "NoRoomOnAVfatEvenWithoutTheOldPackage",
     .change =
         [](World& w) {
             PutPackageForOneRoom(w);
             WriteFile(w.drives['e'] / "update.udi", std::string(4 << 20, 'o'));
             WriteFile(w.drives['e'] / "photos.dat", std::string(8 << 20, 'p'));
         },
     .dialogs = kCopyFails,
     .device = DeviceAfter::Untouched,
     .systems = Systems::LinuxOnly,
     .realKernel = "--stick-mib 16"},
    // A stick that nobody mounted is mounted read-only for the check and unmounted again.
    OnTheDesktopStack("UnmountedStickIsFoundAndUpdated", "--desktop unmounted",
                      {kQuestionYes, kFinished},
                      "stick after the run: not mounted\n"
                      "stick while the question waited: every byte as before\n"
                      "stick: written, fsck clean\n"),
    OnTheDesktopStack("UnmountedStickAnsweredNoIsLeftAsItWas", "--desktop unmounted", {kQuestionNo},
                      "stick after the run: not mounted\n"
                      "stick while the question waited: every byte as before\n"
                      "stick: every byte as before\n"),
    OnTheDesktopStack("StickMountedByTheDesktopStaysMounted", "--desktop mounted",
                      {kQuestionYes, kFinished},
                      "stick after the run: mounted\nstick: written, fsck clean\n"),
    OnTheDesktopStack("StickPulledAtTheNoticeFromTheDesktopsMount", "--desktop pulled",
                      {kQuestionYes, kFinished},
                      "stick after the run: mounted, then pulled\nstick: written, fsck clean\n"),
    OnTheDesktopStack("NoStickWithoutUdisks", "--desktop udisks-stopped", {kNoDevice},
                      "stick after the run: not mounted\nstick: every byte as before\n"),
    OnTheDesktopStack("NoStickOutsideAnActiveSession", "--desktop no-session", {kNoDevice},
                      "stick after the run: not mounted\nstick: every byte as before\n"),
};

}  // namespace

Files FilesIn(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && !entry.is_symlink() &&
            entry.path().filename() != ".windows-label") {
            files[entry.path().filename().string()] = ReadFile(entry.path());
        }
    }
    return files;
}

std::string Summary(const Files& files) {
    std::string summary;
    for (const auto& [name, content] : files) {
        std::uint32_t hash = 2166136261u;  // FNV-1a
        for (unsigned char c : content) {
            hash = (hash ^ c) * 16777619u;
        }
        char line[64];
        std::snprintf(line, sizeof line, " %zu bytes, hash %08X\n", content.size(), hash);
        summary += name + line;
    }
    return summary;
}

fs::path World::Drive(char letter, const std::string& label) {
    fs::path folder = root / (std::string("drive-") + letter);
    fs::create_directories(folder);
    WriteFile(folder / ".windows-label", label);
    drives[letter] = folder;
    return folder;
}

std::string World::Label(char letter) const {
    return ReadFile(drives.at(letter) / ".windows-label");
}

void World::RemoveIniKey(const std::string& key) {
    std::erase_if(ini, [&](const auto& entry) { return entry.first == key; });
}

void World::SetIniValue(const std::string& key, const std::string& value) {
    for (auto& entry : ini) {
        if (entry.first == key) {
            entry.second = value;
        }
    }
}

void World::WriteIni() const {
    if (!writeIni) {
        return;
    }
    std::string text = "[INIT]\r\n";
    for (const auto& [key, value] : ini) {
        text += key + "=" + value + "\r\n";
    }
    if (!debugSection.empty()) {
        text += "\r\n[DEBUG]\r\n" + debugSection + "\r\n";
    }
    WriteFile(program / "UPDATE.INI", text);
}

// The usual PC: D: holds data, E: is the device at firmware 1.00, the package carries 1.01.
void SetUpUsualWorld(World& world) {
    world.ini = kIniTexts;
    world.Drive('d', "DATA");
    fs::path device = world.Drive('e', "DRAVONUD");
    PutDeviceRecord(device / "version.dat", 1, 0x12, "1.00");
    PutPackage(world.program / "update.udx", 1, 0x12, "1.01", 2000);
    WriteFile(world.program / "update.udi", std::string(5000, 'P'));
}

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

std::vector<Scenario> ScenariosFor(Systems system) {
    std::vector<Scenario> scenarios;
    for (const Scenario& s : kScenarios) {
        if (s.systems == Systems::Both || s.systems == system) {
            scenarios.push_back(s);
        }
    }
    return scenarios;
}

Files ExpectedFiles(const Scenario& s, const World& world, char letter, Files before) {
    if (letter == s.deviceLetter && s.device != DeviceAfter::Untouched) {
        before["update.udx"] = ReadFile(world.program / "update.udx");
        if (s.device == DeviceAfter::BothCopied) {
            before["update.udi"] = ReadFile(world.program / "update.udi");
        }
        if (s.device == DeviceAfter::HeaderWithoutPayload) {
            before.erase("update.udi");
        }
    }
    // A copy begins by removing what an earlier run left at the temporary names.
    const bool answeredYes = std::any_of(s.dialogs.begin(), s.dialogs.end(),
                                         [](const Dialog& d) { return d.pressed == "IDYES"; });
    if (letter == s.deviceLetter && answeredYes && !s.swapAtQuestion) {
        before.erase("update.udx.partial");
        before.erase("update.udi.partial");
    }
    return before;
}

void LeaveOutWhatAPullKeeps(const Scenario& s, Files& actual, const Files& expected) {
    if (s.pulled) {
        std::erase_if(actual, [&](const auto& file) { return !expected.contains(file.first); });
    }
}

std::string ExpectedTranscript(const Scenario& s, bool icons) {
    std::string transcript;
    int number = 0;
    for (const Dialog& d : s.dialogs) {
        std::string defaultButton = d.buttons.substr(0, d.buttons.find(' '));
        transcript += "dialog " + std::to_string(++number) + "\ncaption: " + Escape(d.caption) +
                      "\ntext: " + Escape(d.text) + "\n" + (icons ? "icon: " + d.icon + "\n" : "") +
                      "buttons: " + d.buttons + "\ndefault: " + defaultButton + "\n";
        if (s.secondInstance && number == 1) {
            transcript += "second-instance: exit 0, dialogs 0\n";
        }
        transcript += "pressed: " + d.pressed + "\n";
        if (s.swapAtQuestion && number == 1) {
            transcript += "before the answer: done\n";
        }
        // After Yes, the copy's progress: a line on a terminal, or the window watched.
        if (d.buttons == "IDYES IDNO" && d.pressed != "IDNO" && s.terminal) {
            transcript += "progress line: ended before the next box\n";
        }
        if (d.pressed == "IDYES" && s.endSession != nullptr) {
            transcript += std::string(s.endSession) + "\n";
        }
        if (d.pressed == "IDYES" && s.watchProgress) {
            transcript += "progress caption: " + Escape(d.caption) +
                          "\nprogress rose: 3 times or more\nprogress answered: yes\n"
                          "progress gone before the next dialog: yes\n";
            if (s.progressPause > 0) {
                transcript += "progress rose before and after a pause of " +
                              std::to_string(s.progressPause) + " s: yes\n";
            }
        }
    }
    return transcript + "exit: " + std::to_string(s.exitStatus) + "\n" + s.kernelReport;
}

}  // namespace e2e
