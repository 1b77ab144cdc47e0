/* tests/e2e/profile_differential_test.cpp: the profile reader of platform/common against the
 * real GetPrivateProfileStringA under Wine, on the same tricky files, value by value. Where
 * Wine is known to be more lenient than Windows, the tool tests hold Windows's reading. */
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/common/profile_file.h"
#include "tests/e2e/e2e_support.h"

namespace fs = std::filesystem;

namespace {

struct TrickyIni {
    const char* name;
    std::string text;
};

void PrintTo(const TrickyIni& c, std::ostream* os) {
    *os << c.name;
}

using namespace std::string_literals;
const TrickyIni kTrickyFiles[] = {
    {"Plain", "[INIT]\r\nTITLE=Dravon\r\nCONFIRM=Go?\r\n"},
    {"CaseAndBlanks", "[init]\r\n  title  =   Spaced value   \r\n\tConfirm\t=\tTabbed\t\r\n"},
    {"Quotes",
     "[INIT]\nTITLE=\"Quoted value \"\nCONFIRM='single'\nERROR=\"unbalanced\nA=\"\"\n"
     "B=\"x\"y\"\nC=\"\nD='mixed\"\nE= \" padded \" \n"},
    {"Duplicates",
     "[INIT]\nTITLE=first\nTITLE=second\ntitle=third\n[DEBUG]\nDISABLE_VER=YES\n[INIT]\n"
     "CONFIRM=in the second INIT\nTITLE=later\n[debug]\nDISABLE_VER=no\n"},
    {"Comments",
     ";[INIT]\n[INIT]\n;TITLE=commented\nTITLE=real\n; CONFIRM=x\n  ;ERROR=indented\n"
     "#A=hash\nB=value ; not a comment\n"},
    {"NoEqualsAndEmpty", "[INIT]\nTITLE\nCONFIRM=\nERROR=   \nA==double\nB=x=y\n=novalue\n"},
    {"BeforeTheFirstHeader", "TITLE=orphan\nA=1\n[INIT]\nCONFIRM=ok\n"},
    {"HeaderVariants",
     "[ INIT ]\nTITLE=spaced header\n[INIT] trailing\nCONFIRM=after trailing text\n"
     "[DEBUG\nDISABLE_VER=YES\n[Other]]\nA=double bracket\n"},
    {"HeaderBlanksAndBrackets", "[INIT]\n[\tX y\t]\nA=1\n[ Z ] junk ]\nB=2\n[]\nC=3\n"},
    {"CarriageReturnsOnly", "[INIT]\rTITLE=cr only\rCONFIRM=x\r"},
    {"MixedLineEnds", "[INIT]\r\nTITLE=crlf\nCONFIRM=lf\r\n\r\nERROR=no line end"},
    {"LongAndHighBytes",
     "[INIT]\nTITLE=" + std::string(300, 'x') + "E\nCONFIRM=caf\xE9 \xFC\xDF \xC4\n"},
    {"ControlCharacters",
     "[INIT]\nTITLE=a\x01"
     "b\x7F"
     "c\nCONFIRM=\\n stays\nERROR=x\x1A\n"},
    // UTF-16 little-endian with its mark, converted to code page 1252 (a, e acute, the euro sign).
    {"Utf16LittleEndian",
     "\xFF\xFE[\0I\0N\0I\0T\0]\0\r\0\n\0T\0I\0T\0L\0E\0=\0a\0\xE9\0\xAC\x20\r\0\n\0"s},
    // Not here: a UTF-8 byte-order mark, which Wine skips and Windows reads as text of line 1;
    // the tool tests hold that case with Windows's reading as the expectation.
};

const char* const kSections[] = {"INIT",   "init", " INIT ", "DEBUG",    "Other",
                                 "Other]", "X y",  "Z",      "Z ] junk", " "};
const char* const kKeys[] = {"TITLE", "title", " TITLE ", "CONFIRM", "ERROR", "DISABLE_VER", "A",
                             "B",     "C",     "D",       "E",       "#A",    ";TITLE"};

std::string Line(const std::string& section, const std::string& key,
                 const std::optional<std::string>& value) {
    return section + "|" + key + (value ? "=" + Escape(*value) : " absent");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

class ProfileReading : public ::testing::TestWithParam<TrickyIni> {};

TEST_P(ProfileReading, MatchesTheWindowsProfileFunctions) {
    const TrickyIni& file = GetParam();
    fs::path folder = fs::path(Environment("DRAVON_E2E_WORK")) / "ini";
    fs::path windowsBuild = Environment("DRAVON_E2E_WINDOWS_BUILD");
    fs::create_directories(folder);
    WriteFile(folder / (std::string(file.name) + ".ini"), file.text);

    IniFile parsed = ParseIni(DecodeProfileFile(file.text).text);
    std::vector<std::string> expected;
    // A bare file name would send the profile functions to the Windows folder: pass a full path.
    std::string command = "cd '" + folder.string() + "' && wine '" +
                          (windowsBuild / "profile-reader.exe").string() + "' \"$(winepath -w '" +
                          (folder / (std::string(file.name) + ".ini")).string() +
                          "' 2>/dev/null)\"";
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            expected.push_back(Line(section, key, parsed.Find(section, key)));
            command += std::string(" '") + section + "' '" + key + "'";
        }
    }
    int status = 0;
    std::vector<std::string> actual = Lines(Capture(command + " 2>/dev/null", &status));
    ASSERT_EQ(status, 0);
    EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(TrickyFiles, ProfileReading, ::testing::ValuesIn(kTrickyFiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
