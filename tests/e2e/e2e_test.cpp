/* tests/e2e/e2e_test.cpp: scenarios that run the real DravonUpdater.exe under Wine.
 *
 * Each scenario lays out a program folder (the exe, UPDATE.INI, update.udx, update.udi)
 * and device folders mapped to drive letters with their volume labels, restarts the Wine
 * server so that the labels are read afresh, and runs the updater through dialog-driver.exe,
 * which describes every message box and presses the scenario's answers. The transcript is
 * compared whole, and the device folders afterwards file by file.
 *
 * run-e2e sets WINEPREFIX, DISPLAY and the DRAVON_* variables used here. */
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/record_bytes.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;  // file name -> content

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

Files FilesIn(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename() != ".windows-label") {
            files[entry.path().filename().string()] = ReadFile(entry.path());
        }
    }
    return files;
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

// The folders of one scenario. Program files sit in P:\prog, devices on their letters.
struct World {
    fs::path root;
    fs::path program;
    std::map<char, fs::path> drives;  // letter -> folder
    std::vector<std::pair<std::string, std::string>> ini = kIniTexts;
    std::string debugSection;  // appended as [DEBUG] when not empty
    bool writeIni = true;

    fs::path Drive(char letter, const std::string& label) {
        fs::path folder = root / (std::string("drive-") + letter);
        fs::create_directories(folder);
        WriteFile(folder / ".windows-label", label);
        drives[letter] = folder;
        return folder;
    }
    void RemoveIniKey(const std::string& key) {
        std::erase_if(ini, [&](const auto& entry) { return entry.first == key; });
    }
};

// The usual PC: D: holds data, E: is the device at firmware 1.00, the package carries 1.01.
void SetUpUsualWorld(World& world) {
    world.Drive('d', "DATA");
    fs::path device = world.Drive('e', "DRAVONUD");
    PutDeviceRecord(device / "version.dat", 1, 0x12, "1.00");
    PutPackage(world.program / "update.udx", 1, 0x12, "1.01", 2000);
    WriteFile(world.program / "update.udi", std::string(5000, 'P'));
}

struct Dialog {
    std::string caption;
    std::string text;  // as the box shows it, line feeds and all
    std::string buttons;
    std::string pressed;
};

enum class DeviceAfter { Untouched, BothCopied, HeaderOnly };

struct Scenario {
    const char* name;
    std::function<void(World&)> change;  // applied after the usual world is set up
    std::vector<Dialog> dialogs;
    DeviceAfter device = DeviceAfter::Untouched;
    char deviceLetter = 'e';
    bool secondInstance = false;
    const char* programFolder = "prog";  // in P:\, as the file system spells it (UTF-8)
    bool holdRecordsOpen = false;        // version.dat and update.udx open for writing elsewhere
    const char* dllOverrides = "";       // added to WINEDLLOVERRIDES for this run
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

std::string ExpectedTranscript(const Scenario& s) {
    std::string transcript;
    int number = 0;
    for (const Dialog& d : s.dialogs) {
        std::string defaultButton = d.buttons.substr(0, d.buttons.find(' '));
        transcript += "dialog " + std::to_string(++number) + "\ncaption: " + Escape(d.caption) +
                      "\ntext: " + Escape(d.text) + "\nbuttons: " + d.buttons +
                      "\ndefault: " + defaultButton + "\n";
        if (s.secondInstance && number == 1) {
            transcript += "second-instance: exit 0, dialogs 0\n";
        }
        transcript += "pressed: " + d.pressed + "\n";
    }
    return transcript + "exit: 0\n";
}

const std::string kTitle = "Dravon Updater";
const std::string kQuestionText =
    "Current version : 1.00\nUpdate version  : 1.01\n\nDo you want to update the firmware?";
const Dialog kQuestionYes = {kTitle, kQuestionText, "IDYES IDNO", "IDYES"};
const Dialog kQuestionNo = {kTitle, kQuestionText, "IDYES IDNO", "IDNO"};
const Dialog kFinished = {kTitle, "The update was copied.\nRestart the device.", "IDOK", "IDOK"};
const Dialog kNoDevice = {kTitle, "The device was not found.\nConnect it and try again.", "IDOK",
                          "IDOK"};

Dialog ErrorBox(const std::string& code, const std::string& caption = kTitle) {
    return {caption, "Error CODE : 0x" + code, "IDOK", "IDOK"};
}

Dialog Refusal(const std::string& models, const std::string& regions) {
    return {kTitle,
            "This update is not for your device.\n\nModel  " + models + "\nRegion " + regions,
            "IDOK", "IDOK"};
}

Dialog NoNeed(const std::string& device, const std::string& package) {
    return {kTitle,
            "Current version : " + device + "\nUpdate version  : " + package +
                "\n\nThe firmware is already up to date.",
            "IDOK", "IDOK"};
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
     DeviceAfter::BothCopied},
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
     .dllOverrides = "uxtheme=n,b"},
};

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

    void WriteIni() {
        if (!world.writeIni) {
            return;
        }
        std::string ini = "[INIT]\r\n";
        for (const auto& [key, value] : world.ini) {
            ini += key + "=" + value + "\r\n";
        }
        if (!world.debugSection.empty()) {
            ini += "\r\n[DEBUG]\r\n" + world.debugSection + "\r\n";
        }
        WriteFile(world.program / "UPDATE.INI", ini);
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
        for (const auto& [letter, folder] : world.drives) {
            fs::create_directory_symlink(folder, dosdevices / (std::string(1, letter) + ":"));
        }
        ASSERT_EQ(std::system("wineserver -k 2>/dev/null; wineserver -w 2>/dev/null"), 0);
    }

    std::string RunUpdater(const Scenario& s) {
        std::string command = std::string("wine 'T:\\dialog-driver.exe' run 'P:\\") +
                              s.programFolder + "\\DravonUpdater.exe' --cwd 'C:\\' --timeout 20000";
        for (const Dialog& d : s.dialogs) {
            command += " --answer " + d.pressed;
        }
        if (s.secondInstance) {
            command += " --second-instance";
        }
        if (s.holdRecordsOpen) {
            command += std::string(" --hold-open 'E:\\version.dat' --hold-open 'P:\\") +
                       s.programFolder + "\\update.udx'";
        }
        if (*s.dllOverrides != '\0') {
            command = "WINEDLLOVERRIDES=\"$WINEDLLOVERRIDES;" + std::string(s.dllOverrides) +
                      "\" " + command;
        }
        int status = 0;
        std::string transcript =
            Capture("cd '" + world.root.string() + "' && " + command + " 2>/dev/null", &status);
        EXPECT_EQ(status, 0) << "dialog-driver reported a fault";
        return transcript;
    }

    fs::path windowsBuild;
    fs::path prefix;
    World world;
};

TEST_P(EndToEnd, ShowsTheRightDialogsAndLeavesTheDeviceRight) {
    const Scenario& s = GetParam();
    s.change(world);
    WriteIni();
    MapDrives();
    std::map<char, Files> before;
    for (const auto& [letter, folder] : world.drives) {
        before[letter] = FilesIn(folder);
    }

    EXPECT_EQ(RunUpdater(s), ExpectedTranscript(s));

    for (const auto& [letter, folder] : world.drives) {
        Files expected = before[letter];
        if (letter == s.deviceLetter && s.device != DeviceAfter::Untouched) {
            expected["update.udx"] = ReadFile(world.program / "update.udx");
            if (s.device == DeviceAfter::BothCopied) {
                expected["update.udi"] = ReadFile(world.program / "update.udi");
            }
        }
        EXPECT_EQ(FilesIn(folder), expected) << "drive " << letter << ":";
    }
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

INSTANTIATE_TEST_SUITE_P(Scenarios, EndToEnd, ::testing::ValuesIn(kScenarios),
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

}  // namespace

namespace {

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
