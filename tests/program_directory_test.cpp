#include "messages/program_directory.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "run/run_state.h"

namespace {

struct DirectoryCase {
    const char* name;
    std::string modulePath;
    bool codePage932;
    std::string expected;  // ProgramDirectory afterwards
    bool usable;
    bool slashes = false;  // paths as on Linux
};

void PrintTo(const DirectoryCase& c, std::ostream* os) {
    *os << c.name;
}

// 0x95 0x5C is one double-byte character in code page 932; its trail byte is 0x5C.
const DirectoryCase kDirectories[] = {
    {"NestedFolder", "C:\\Tools\\Update\\updater.exe", false, "C:\\Tools\\Update\\", true},
    {"DriveRoot", "D:\\updater.exe", false, "D:\\", true},
    {"TwoCharactersStayUnchanged", "a\\", false, "a\\", false},
    {"FirstPositionIsNeverExamined", "\\ab", false, "\\ab", false},
    {"LastPositionIsNeverExamined", "C:\\dir\\", false, "C:\\", true},
    {"NoBackslash", "updater.exe", false, "updater.exe", false},
    {"SingleByteCodePageCutsAtAnyByte5C", "C:\\Tools\\\x95\x5C.exe", false, "C:\\Tools\\\x95\\",
     true},
    {"TrailByteIsNotABackslash", "C:\\Tools\\\x95\x5C.exe", true, "C:\\Tools\\", true},
    {"TrailByteInFolderName", "C:\\\x95\x5C\\app.exe", true, "C:\\\x95\x5C\\", true},
    {"LeadByteAtTheEnd", "C:\\a\\b\x95", true, "C:\\a\\", true},
    {"PathOf259CharactersFits", "C:\\" + std::string(248, 'x') + "\\upd.exe", false,
     "C:\\" + std::string(248, 'x') + "\\", true},
    {"LinuxFolder", "/opt/dravon/dravon-updater", false, "/opt/dravon/", true, true},
    {"OnLinuxABackslashIsPartOfAName", "/opt/a\\b/updater", false, "/opt/a\\b/", true, true},
    {"LinuxProgramAtTheRoot", "/dravon-updater", false, "/", true, true},
    {"PathOf260CharactersIsCutAndRefused", "C:\\" + std::string(249, 'x') + "\\upd.exe", false, "",
     false},
};

class ProgramDirectory : public ::testing::TestWithParam<DirectoryCase> {
  protected:
    void SetUp() override {
        FakePlatform_Reset();
        ResetRunState();
    }
};

TEST_P(ProgramDirectory, IsCutAfterTheLastRealBackslash) {
    const DirectoryCase& c = GetParam();
    FakeModule_SetPath(c.modulePath);
    FakeText_UseCodePage932(c.codePage932);
    FakePaths_UseSlashes(c.slashes);
    EXPECT_EQ(DetermineProgramDirectory(), c.usable);
    EXPECT_EQ(std::string(State.ProgramDirectory), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgramDirectory, ::testing::ValuesIn(kDirectories),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramDirectoryFailure, NothingWrittenIsUnusable) {
    FakePlatform_Reset();
    ResetRunState();
    EXPECT_FALSE(DetermineProgramDirectory());
    EXPECT_STREQ(State.ProgramDirectory, "");
}

}  // namespace
