#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/common/profile_file.h"
#include "record_bytes.h"
#include "tools/release_check.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Record(const record_bytes::Layout& layout, std::uint32_t region, std::uint32_t model,
                   const char* version) {
    return record_bytes::AsText(record_bytes::Record(layout, region, model, version));
}

// The dialog texts of the bundle under test; the tests depend on these, not on the sample
// that shippers are told to edit.
const char kIni[] =
    "; a comment\r\n[INIT]\r\nTITLE=Updater Under Test\r\nNODRAVON=No device.\\nConnect it.\r\n"
    "CONFIRM=Copy the update?\r\nNOUPDATE=Not for this device.\r\nNONEED=Nothing to do.\r\n"
    "CURRENT=\"On the device: \"\r\nUPDATE=\"In the update: \"\r\nFINISH=Copied.\r\n"
    "ERROR=Failure\r\n";

// kIni with its first line replaced.
std::string IniFrom(const std::string& firstLine) {
    std::string ini = kIni;
    return firstLine + ini.substr(ini.find('\n'));
}

// Single-byte text as UTF-16 little-endian with its mark (Latin-1 characters only).
std::string Utf16(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// A bundle with that UPDATE.INI, a package 1.01 for model 0x12 in region 1, and a device at
// 1.00 of the same model and region, in a folder of its own.
class ReleaseCheck : public ::testing::Test {
  public:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "dravon-check-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        release = root / "bundle";
        device = root / "device";
        fs::create_directories(release);
        fs::create_directories(device);
        fs::copy_file(fs::path(DRAVON_WINDOWS_BUILD) / "DravonUpdater.exe",
                      release / "DravonUpdater.exe");
        Write(release / "UPDATE.INI", kIni);
        Write(release / "update.udx", Record(record_bytes::kPackage, 1, 0x12, "1.01") + "payload");
        Write(release / "update.udi", "firmware image");
        Write(device / "version.dat", Record(record_bytes::kDevice, 1, 0x12, "1.00"));
    }
    void TearDown() override { fs::remove_all(root); }

    void SetIniLine(const std::string& key, const std::string& line) {
        std::string ini = Read(release / "UPDATE.INI");
        std::size_t start = ini.find("\n" + key + "=") + 1;
        std::size_t end = ini.find('\n', start) + 1;
        ini.replace(start, end - start, line.empty() ? "" : line + "\r\n");
        Write(release / "UPDATE.INI", ini);
    }

    fs::path root;
    fs::path release;
    fs::path device;
};

bool Has(const std::vector<Finding>& findings, Severity severity, const std::string& part) {
    for (const Finding& finding : findings) {
        if (finding.severity == severity && finding.text.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

int Count(const std::vector<Finding>& findings, Severity severity) {
    return static_cast<int>(
        std::count_if(findings.begin(), findings.end(),
                      [&](const Finding& finding) { return finding.severity == severity; }));
}

// ReportFindings's exit status; what it printed in *printed.
int Report(const std::vector<Finding>& findings, const CheckOptions& options = {},
           std::string* printed = nullptr) {
    ::testing::internal::CaptureStdout();
    int status = ReportFindings(findings, options);
    std::string output = ::testing::internal::GetCapturedStdout();
    if (printed != nullptr) {
        *printed = output;
    }
    return status;
}

TEST_F(ReleaseCheck, GoodBundlePasses) {
    std::vector<Finding> findings = CheckRelease(release.string(), device.string());
    EXPECT_EQ(Count(findings, Severity::Error), 0);
    EXPECT_EQ(Count(findings, Severity::Warning), 0);
    EXPECT_TRUE(Has(findings, Severity::Note,
                    "update.udx: region 0x00000001, model 0x00000012, version \"1.01\""));
    EXPECT_TRUE(Has(findings, Severity::Note, "result 0x00, the update is offered"));
    EXPECT_TRUE(Has(findings, Severity::Note,
                    "dialog \"Updater Under Test\": \"On the device: 1.00\\nIn the update: "
                    "1.01\\n\\nCopy the update?\" [Yes] [No], question icon"));
    EXPECT_EQ(Report(findings), 0);
}

TEST_F(ReleaseCheck, ShippedSampleIniPasses) {
    fs::copy_file(fs::path(DRAVON_SOURCE_DIR) / "samples" / "UPDATE.INI", release / "UPDATE.INI",
                  fs::copy_options::overwrite_existing);
    std::vector<Finding> findings = CheckRelease(release.string(), device.string());
    EXPECT_EQ(Count(findings, Severity::Error), 0);
    EXPECT_EQ(Count(findings, Severity::Warning), 0);
}

TEST_F(ReleaseCheck, JsonHasAnObjectPerFinding) {
    fs::remove(release / "UPDATE.INI");
    std::vector<Finding> findings = CheckRelease(release.string(), "");
    std::string json;
    CheckOptions options;
    options.json = true;
    EXPECT_EQ(Report(findings, options, &json), 1);
    EXPECT_TRUE(json.starts_with("[\n  {") && json.ends_with("}\n]\n")) << json;
    EXPECT_NE(json.find("{\"level\": \"error\", \"code\": \"ini-missing\", \"message\": "
                        "\"UPDATE.INI is missing: every user would see \\\"Error CODE : "
                        "0x00\\\"\", \"file\": \"UPDATE.INI\"}"),
              std::string::npos)
        << json;
    std::size_t objects = 0;
    for (std::size_t at = 0; (at = json.find("{\"level\"", at)) != std::string::npos; ++at) {
        ++objects;
    }
    EXPECT_EQ(objects, findings.size());
}

TEST_F(ReleaseCheck, ExitStatusSaysCleanErrorOrUnreadable) {
    Write(release / "UPDATE.INI", std::string(kIni) + "[DEBUG]\r\nDISABLE_VER=no\r\n");
    std::vector<Finding> warned = CheckRelease(release.string(), device.string());
    ASSERT_EQ(Count(warned, Severity::Warning), 1);
    EXPECT_EQ(Report(warned), 0) << "a warning alone";
    CheckOptions strict;
    strict.strict = true;
    EXPECT_EQ(Report(warned, strict), 1) << "a warning, strict";
    EXPECT_EQ(Report(CheckRelease((root / "absent").string(), "")), 2) << "no release folder";
    EXPECT_EQ(Report(CheckRelease(release.string(), (root / "absent").string())), 2)
        << "no device folder";
}

struct Fault {
    const char* name;
    std::function<void(ReleaseCheck&)> plant;
    Severity severity;
    std::string finding;
};

void PrintTo(const Fault& fault, std::ostream* os) {
    *os << fault.name;
}

class PlantedFault : public ReleaseCheck, public ::testing::WithParamInterface<Fault> {};

const Fault kFaults[] = {
    {"NoIni", [](ReleaseCheck& c) { fs::remove(c.release / "UPDATE.INI"); }, Severity::Error,
     "UPDATE.INI is missing: every user would see \"Error CODE : 0x00\""},
    {"MissingKey", [](ReleaseCheck& c) { c.SetIniLine("FINISH", ""); }, Severity::Error,
     "[INIT] FINISH is missing"},
    {"EmptyKey", [](ReleaseCheck& c) { c.SetIniLine("CONFIRM", "CONFIRM=   "); }, Severity::Error,
     "[INIT] CONFIRM is empty"},
    {"LongValue",
     [](ReleaseCheck& c) { c.SetIniLine("NONEED", "NONEED=" + std::string(300, 'n')); },
     Severity::Warning, "[INIT] NONEED has 300 characters: the updater keeps the first 255"},
    {"LongQuestion",
     [](ReleaseCheck& c) {
         c.SetIniLine("CURRENT", "CURRENT=" + std::string(200, 'c'));
         c.SetIniLine("UPDATE", "UPDATE=" + std::string(200, 'u'));
         c.SetIniLine("CONFIRM", "CONFIRM=" + std::string(100, 'q'));
     },
     Severity::Warning, "the question can reach 519 characters"},
    {"BypassShipped",
     [](ReleaseCheck& c) {
         Write(c.release / "UPDATE.INI",
               Read(c.release / "UPDATE.INI") + "[DEBUG]\r\nDISABLE_VER=YES\r\n");
     },
     Severity::Error, "[DEBUG] DISABLE_VER=YES: the updater would skip"},
    {"BypassInLowerCase",
     [](ReleaseCheck& c) {
         Write(c.release / "UPDATE.INI",
               Read(c.release / "UPDATE.INI") + "[debug]\r\ndisable_ver=yes\r\n");
     },
     Severity::Warning, "DISABLE_VER=\"yes\" has no effect"},
    // How Windows takes the file's bytes (not as Wine does).
    {"MarkBeforeInitOnLineOne",
     [](ReleaseCheck& c) { Write(c.release / "UPDATE.INI", "\xEF\xBB\xBF" + IniFrom("[INIT]")); },
     Severity::Error, "begins with a UTF-8 byte-order mark, which Windows reads as part of line 1"},
    {"MarkBeforeACommentDoesNoHarm",
     [](ReleaseCheck& c) { Write(c.release / "UPDATE.INI", "\xEF\xBB\xBF" + std::string(kIni)); },
     Severity::Note, "result 0x00, the update is offered"},
    {"Utf8BeyondAsciiIsGarbled",
     [](ReleaseCheck& c) { c.SetIniLine("CONFIRM", "CONFIRM=Caf\xC3\xA9?"); }, Severity::Warning,
     "they show garbled"},
    {"Utf16IsReadAsWindowsDoes",
     [](ReleaseCheck& c) {
         c.SetIniLine("CONFIRM", "CONFIRM=Caf\xE9?");
         Write(c.release / "UPDATE.INI", Utf16(Read(c.release / "UPDATE.INI")));
     },
     Severity::Note, "\\n\\nCaf\\xE9?\" [Yes] [No]"},
    {"Utf16CharacterBeyondTheCodePage",
     [](ReleaseCheck& c) {
         std::string ini = Utf16(Read(c.release / "UPDATE.INI"));
         ini += std::string("C\0=\0\x01\x01\r\0\n\0", 10);  // C=ā
         Write(c.release / "UPDATE.INI", ini);
     },
     Severity::Warning, "1 character(s) that Windows-1252 lacks (U+0101): Windows shows them"},
    {"Utf16BigEndian", [](ReleaseCheck& c) { Write(c.release / "UPDATE.INI", "\xFE\xFF\0["); },
     Severity::Error, "is UTF-16 big-endian"},
    // The exe and the attributes that the package's files take to the device.
    {"NoExe", [](ReleaseCheck& c) { fs::remove(c.release / "DravonUpdater.exe"); }, Severity::Error,
     "DravonUpdater.exe is missing"},
    {"ExeIsNoProgram",
     [](ReleaseCheck& c) { Write(c.release / "DravonUpdater.exe", "MZ not really"); },
     Severity::Error, "is not a Windows program"},
    {"ExeIsAConsoleProgram",
     [](ReleaseCheck& c) {
         fs::copy_file(fs::path(DRAVON_WINDOWS_BUILD) / "dialog-driver.exe",
                       c.release / "DravonUpdater.exe", fs::copy_options::overwrite_existing);
     },
     Severity::Error, "is not a 64-bit Windows GUI program"},
    {"ExeVersionIsPrinted", [](ReleaseCheck&) {}, Severity::Note,
     "DravonUpdater.exe: file version 1.0.3.0"},
    {"ReadOnlyPackage",
     [](ReleaseCheck& c) {
         fs::permissions(c.release / "update.udi", fs::perms::owner_write,
                         fs::perm_options::remove);
     },
     Severity::Warning, "update.udi is read-only"},
    {"NoPackage", [](ReleaseCheck& c) { fs::remove(c.release / "update.udx"); }, Severity::Error,
     "update.udx is missing: the updater would show code 0x20"},
    {"ShortPackage", [](ReleaseCheck& c) { fs::resize_file(c.release / "update.udx", 300); },
     Severity::Error, "update.udx holds 300 bytes, fewer than its 512-byte header: code 0x21"},
    {"StaleCrc",
     [](ReleaseCheck& c) {
         std::string header = Read(c.release / "update.udx");
         header[336 + 3] = 0x13;  // the model changed after the CRC was computed
         Write(c.release / "update.udx", header);
     },
     Severity::Error, "is stored: code 0x22"},
    {"NoPayload", [](ReleaseCheck& c) { fs::remove(c.release / "update.udi"); }, Severity::Error,
     "update.udi is missing"},
    {"EmptyPayload", [](ReleaseCheck& c) { Write(c.release / "update.udi", ""); }, Severity::Error,
     "update.udi is empty"},
    {"OtherModelOnTheDevice",
     [](ReleaseCheck& c) {
         Write(c.device / "version.dat", Record(record_bytes::kDevice, 1, 0x13, "1.00"));
     },
     Severity::Note,
     "\"Not for this device.\\n\\nModel  00000013:00000012\\nRegion 00000001:00000001\" [OK], "
     "error icon"},
    {"UpToDateDevice",
     [](ReleaseCheck& c) {
         Write(c.device / "version.dat", Record(record_bytes::kDevice, 1, 0x12, "1.01"));
     },
     Severity::Note, "result 0x01, no update needed"},
    {"DeviceWithoutRecord", [](ReleaseCheck& c) { fs::remove(c.device / "version.dat"); },
     Severity::Note, "\"Failure CODE : 0x10\" [OK], error icon"},
};

TEST_P(PlantedFault, IsReported) {
    const Fault& fault = GetParam();
    fault.plant(*this);
    std::vector<Finding> findings = CheckRelease(release.string(), device.string());
    EXPECT_TRUE(Has(findings, fault.severity, fault.finding)) << [&] {
        std::string all;
        for (const Finding& finding : findings) {
            all += finding.text + "\n";
        }
        return all;
    }();
    EXPECT_EQ(Report(findings), fault.severity == Severity::Error ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Where Wine is more lenient than Windows, Windows's reading (the differential test against
// Wine leaves these out).
TEST(IniReader, TakesTheBytesAsWindowsDoes) {
    const struct {
        const char* name;
        std::string bytes;
        std::optional<std::string> title;
    } cases[] = {
        {"MarkHidesAHeaderOnLineOne", "\xEF\xBB\xBF[INIT]\r\nTITLE=x\r\n", std::nullopt},
        {"MarkBeforeABlankLine", "\xEF\xBB\xBF\r\n[INIT]\r\nTITLE=x\r\n", "x"},
        {"Utf16", Utf16("[INIT]\r\nTITLE=Caf\xE9\r\n"), "Caf\xE9"},
        {"Utf16BeyondTheCodePage",
         Utf16("[INIT]\r\nTITLE=") + std::string("\x01\x01\xAC\x20\x3D\xD8\x00\xDE", 8),
         "?\x80?"},  // a, the euro sign, and a character beyond the first plane
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIni(DecodeProfileFile(c.bytes).text).Find("INIT", "TITLE"), c.title)
            << c.name;
    }
}

TEST(IniReader, FollowsTheProfileRules) {
    IniFile ini = ParseIni(
        "KEY=before any section\r\n[ Init ]\r\n  Title =  \"  quoted  \"  \r\ntitle=second\r\n"
        ";Confirm=comment\r\nConfirm\r\n[INIT]\r\nERROR=in a later INIT\r\n");
    EXPECT_EQ(ini.Find("INIT", "TITLE"), "  quoted  ");
    EXPECT_EQ(ini.Find("INIT", "CONFIRM"), std::nullopt) << "a key without = reads as absent";
    EXPECT_EQ(ini.Find("INIT", "ERROR"), std::nullopt) << "only the first INIT section counts";
    EXPECT_EQ(ini.Find("INIT", "KEY"), std::nullopt);
}

// ---- dravon-pack's commands that write records, run as a shipper runs them ----

struct PackCase {
    const char* name;
    std::function<void(const fs::path& folder)> setUp;  // the files there beforehand
    std::string arguments;                              // run in that folder
    int status;
    std::function<std::string()> expected;  // `out` afterwards; nullptr: as before the run
};

void PrintTo(const PackCase& c, std::ostream* os) {
    *os << c.name;
}

using record_bytes::AsText;

std::string Pattern(std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>(i * 7 + 3);
    }
    return bytes;
}

// A package header with every unexamined byte 0x5A and one of them changed since sealing.
record_bytes::Bytes EditedHeader() {
    record_bytes::Bytes header =
        record_bytes::Record(record_bytes::kPackage, 1, 0x12, "1.01", 0x5A);
    header[100] ^= 0x01;
    return header;
}

const PackCase kPackCases[] = {
    {"PayloadFileFollowsTheHeader", [](const fs::path& f) { Write(f / "image", Pattern(1000)); },
     "package out --region 0 --model 0x12 --version 1.01 --payload image", 0,
     [] { return AsText(record_bytes::PackageHeader(0, 0x12, "1.01")) + Pattern(1000); }},
    {"HeaderKeepsEveryUnexaminedByte",
     [](const fs::path& f) {
         Write(
             f / "old",
             AsText(record_bytes::Record(record_bytes::kPackage, 1, 0x12, "1.01", 0xA5)) + "tail");
     },
     "package out --header old --version 2.00", 0,
     [] { return AsText(record_bytes::Record(record_bytes::kPackage, 1, 0x12, "2.00", 0xA5)); }},
    {"SealChangesOnlyTheHeaderOfALongPackage",
     [](const fs::path& f) { Write(f / "out", AsText(EditedHeader()) + Pattern(5000)); },
     "seal out --model 0x13", 0,
     [] {
         record_bytes::Bytes header = EditedHeader();
         record_bytes::PutBigEndian(header, 336, 0x13);
         record_bytes::Seal(header, 512);
         return AsText(header) + Pattern(5000);
     }},
    {"SealWithoutFieldsWritesOnlyTheCrc",
     [](const fs::path& f) {
         record_bytes::Bytes record = record_bytes::DeviceRecord(1, 0x12, "1.00");
         record[1] = 'x';  // unexamined, kept
         record[20] ^= 0x01;
         Write(f / "out", AsText(record));
     },
     "seal out", 0,
     [] {
         record_bytes::Bytes record = record_bytes::DeviceRecord(1, 0x12, "1.00");
         record[1] = 'x';
         record[20] ^= 0x01;
         record_bytes::Seal(record, 28);
         return AsText(record);
     }},
    {"LeadingZerosAreDecimalNotOctal", nullptr, "device out --region 010 --model 0x0A --version v",
     0, [] { return AsText(record_bytes::DeviceRecord(10, 10, "v")); }},
    {"AnExistingFileIsReplacedWhole", [](const fs::path& f) { Write(f / "out", Pattern(100)); },
     "device out --region 1 --model 2 --version x", 0,
     [] { return AsText(record_bytes::DeviceRecord(1, 2, "x")); }},
    {"HexWithoutDigitsIsRefused", nullptr, "device out --region 0x --model 1 --version v", 2,
     nullptr},
    {"NegativeNumberIsRefused", nullptr, "device out --region -1 --model 1 --version v", 2,
     nullptr},
    {"VersionBeyondTwelveBytesIsRefused", [](const fs::path& f) { Write(f / "out", "untouched"); },
     "seal out --version 1234567890123", 2, nullptr},
    {"PayloadAndPayloadSizeExcludeEachOther", [](const fs::path& f) { Write(f / "image", "x"); },
     "package out --region 0 --model 1 --version v --payload image --payload-size 4", 2, nullptr},
};

class PackCommand : public ReleaseCheck, public ::testing::WithParamInterface<PackCase> {};

TEST_P(PackCommand, WritesWhatItSays) {
    const PackCase& c = GetParam();
    if (c.setUp) {
        c.setUp(root);
    }
    const std::string before = fs::exists(root / "out") ? Read(root / "out") : "(none)";
    std::string command =
        "cd '" + root.string() + "' && " + DRAVON_PACK + " " + c.arguments + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    std::string after = fs::exists(root / "out") ? Read(root / "out") : "(none)";
    EXPECT_EQ(after, c.expected ? c.expected() : before);
    EXPECT_FALSE(fs::exists(root / "out.partial"));
}

INSTANTIATE_TEST_SUITE_P(Table, PackCommand, ::testing::ValuesIn(kPackCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
