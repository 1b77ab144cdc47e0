#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "record_bytes.h"
#include "tools/ini_reader.h"
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
    EXPECT_EQ(PrintFindings(findings), 0);
}

TEST_F(ReleaseCheck, ShippedSampleIniPasses) {
    fs::copy_file(fs::path(DRAVON_SOURCE_DIR) / "samples" / "UPDATE.INI", release / "UPDATE.INI",
                  fs::copy_options::overwrite_existing);
    std::vector<Finding> findings = CheckRelease(release.string(), device.string());
    EXPECT_EQ(Count(findings, Severity::Error), 0);
    EXPECT_EQ(Count(findings, Severity::Warning), 0);
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
    {"Utf16Ini", [](ReleaseCheck& c) { Write(c.release / "UPDATE.INI", "\xFF\xFE[\0I\0"); },
     Severity::Error, "UTF-16"},
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
    EXPECT_EQ(PrintFindings(findings), fault.severity == Severity::Error ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniReader, FollowsTheProfileRules) {
    IniFile ini = ParseIni(
        "KEY=before any section\r\n[ Init ]\r\n  Title =  \"  quoted  \"  \r\ntitle=second\r\n"
        ";Confirm=comment\r\nConfirm\r\n[INIT]\r\nERROR=in a later INIT\r\n");
    EXPECT_EQ(ini.Find("INIT", "TITLE"), "  quoted  ");
    EXPECT_EQ(ini.Find("INIT", "CONFIRM"), std::nullopt) << "a key without = reads as absent";
    EXPECT_EQ(ini.Find("INIT", "ERROR"), std::nullopt) << "only the first INIT section counts";
    EXPECT_EQ(ini.Find("INIT", "KEY"), std::nullopt);
}

}  // namespace
