#include "run/text.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "platform/common/code_page_1252.h"
#include "run/ansi_text.h"

namespace {

TEST(ComposePath, RefusesAPathThatWouldBeCut) {
    char path[12];
    EXPECT_TRUE(ComposePath(path, "E:\\", "abcd.dat"));  // 11 characters and the NUL
    EXPECT_STREQ(path, "E:\\abcd.dat");
    EXPECT_FALSE(ComposePath(path, "E:\\", "abcde.dat"));
    EXPECT_STREQ(path, "") << "a path cut short is never left for use";
}

struct CutCase {
    const char* name;
    std::string text;
    bool codePage932;
    std::string expected;  // in an 8-byte buffer
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

const CutCase kCuts[] = {
    {"Fits", "1234567", false, "1234567"},
    {"CutAtTheEnd", "123456789", false, "1234567"},
    {"SingleByteKeepsAHighByteAtTheCut", "123456\x95\x5C", false, "123456\x95"},
    {"LeadByteWhoseTrailWasCutIsDropped", "123456\x95\x5C", true, "123456"},
    {"WholeDoubleByteCharacterAtTheCutStays",
     "12345\x95\x5C"
     "9",
     true, "12345\x95\x5C"},
    {"TrailByteThatLooksLikeALeadByte", "1234\x95\x95\x95\x95", true, "1234\x95\x95"},
    {"TextEndingInALoneLeadByteIsNotCut", "12\x95", true, "12\x95"},
};

class ComposeTextCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(ComposeTextCut, NeverLeavesHalfACharacter) {
    const CutCase& c = GetParam();
    FakePlatform_Reset();
    FakeText_UseCodePage932(c.codePage932);
    char out[8];
    ComposeText(out, sizeof out, "%s", c.text.c_str());
    EXPECT_EQ(std::string(out), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ComposeTextCut, ::testing::ValuesIn(kCuts),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows-1252 both ways, as the Linux dialogs and the profile reader use it.
TEST(CodePage1252, MapsAsWindowsDoes) {
    const struct {
        unsigned char byte;
        std::uint32_t character;
    } pairs[] = {{'A', 'A'}, {0x80, 0x20AC}, {0x81, 0x81}, {0x9F, 0x178}, {0xE9, 0xE9}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(Cp1252ToUnicode(pair.byte), pair.character) << int{pair.byte};
        EXPECT_EQ(UnicodeToCp1252(pair.character), pair.byte) << pair.character;
    }
    EXPECT_EQ(UnicodeToCp1252(0x101), -1) << "a with macron: none";
}

}  // namespace
