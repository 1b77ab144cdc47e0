#include "messages/message_catalogue.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "run/run_state.h"

namespace {

const std::string kExe = "C:\\Tools\\Update\\updater.exe";
const std::string kIni = "C:\\Tools\\Update\\UPDATE.INI";

// Each value holds a backslash-n, so that expansion shows where it happens.
struct KeyValue {
    const char* key;
    const char* value;
    const char* loaded;  // the slot's content after a good load
};
const KeyValue kGoodIni[] = {
    {"TITLE", "Dravon\\nUpdater", "Dravon\\nUpdater"},
    {"NODRAVON", "No device.\\nConnect it.", "No device.\nConnect it."},
    {"CONFIRM", "Update now?\\nDo not unplug.", "Update now?\nDo not unplug."},
    {"NOUPDATE", "Wrong package.\\n", "Wrong package.\n"},
    {"NONEED", "Up to date.\\nNothing to do.", "Up to date.\nNothing to do."},
    {"CURRENT", "Current\\n: ", "Current\\n: "},
    {"UPDATE", "Update\\n: ", "Update\\n: "},
    {"FINISH", "Done.\\nRestart the device.", "Done.\nRestart the device."},
    {"ERROR", "Failure\\n", "Failure\\n"},
};

const char* Slot(const std::string& key) {
    for (auto [name, slot] : {std::pair{"TITLE", State.TITLE},
                              {"NODRAVON", State.NODRAVON},
                              {"CONFIRM", State.CONFIRM},
                              {"NOUPDATE", State.NOUPDATE},
                              {"NONEED", State.NONEED},
                              {"CURRENT", State.CURRENT},
                              {"UPDATE", State.UPDATE},
                              {"FINISH", State.FINISH},
                              {"ERROR", State.ERROR}}) {
        if (key == name) {
            return slot;
        }
    }
    ADD_FAILURE() << "no slot " << key;
    return "";
}

class MessageCatalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        FakePlatform_Reset();
        ResetRunState();
        FakeModule_SetPath(kExe);
    }
    static void WriteIniWithout(const std::string& missingKey) {
        for (const KeyValue& entry : kGoodIni) {
            if (entry.key != missingKey) {
                FakeProfile_Set(kIni, "INIT", entry.key, entry.value);
            }
        }
    }
};

TEST_F(MessageCatalogue, LoadsAllNineTextsExpandingOnlyTheMarkedOnes) {
    WriteIniWithout("");
    EXPECT_TRUE(LoadMessageCatalogue());
    for (const KeyValue& entry : kGoodIni) {
        EXPECT_STREQ(Slot(entry.key), entry.loaded) << entry.key;
    }
    EXPECT_FALSE(State.DISABLE_VER);
    EXPECT_STREQ(State.ProgramDirectory, "C:\\Tools\\Update\\");
}

TEST_F(MessageCatalogue, MissingFileFailsAtTheFirstKey) {
    EXPECT_FALSE(LoadMessageCatalogue());
    EXPECT_STREQ(State.TITLE, "") << "the slot just read is emptied";
    EXPECT_STREQ(State.ERROR, "Error") << "later slots keep their content at start";
    ASSERT_EQ(FakeProfile_Reads().size(), 1u);
    EXPECT_EQ(FakeProfile_Reads()[0], kIni + "|INIT|TITLE");
}

// A missing or empty key stops the load there: the slots before hold the file's texts, the
// failing slot is empty, the slots after keep their content at start.
struct StopCase {
    const char* key;
    bool empty;  // present with an empty value rather than absent
};
void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.key;
}
class CatalogueStops : public MessageCatalogue, public ::testing::WithParamInterface<StopCase> {};

TEST_P(CatalogueStops, AtTheFirstMissingKey) {
    const StopCase& c = GetParam();
    WriteIniWithout(c.key);
    if (c.empty) {
        FakeProfile_Set(kIni, "INIT", c.key, "");
    }
    FakeProfile_Set(kIni, "DEBUG", "DISABLE_VER", "YES");
    EXPECT_FALSE(LoadMessageCatalogue());
    bool before = true;
    for (const KeyValue& entry : kGoodIni) {
        const bool failing = std::string(entry.key) == c.key;
        const char* atStart = std::string(entry.key) == "TITLE"   ? "Dravon Updater"
                              : std::string(entry.key) == "ERROR" ? "Error"
                                                                  : "";
        const char* expected = failing ? "" : before ? entry.loaded : atStart;
        EXPECT_STREQ(Slot(entry.key), expected) << entry.key;
        before = before && !failing;
    }
    EXPECT_FALSE(State.DISABLE_VER) << "the switch is read only after all nine texts";
}

INSTANTIATE_TEST_SUITE_P(Keys, CatalogueStops,
                         ::testing::Values(StopCase{"TITLE", false}, StopCase{"CONFIRM", true},
                                           StopCase{"FINISH", false}, StopCase{"ERROR", false},
                                           StopCase{"UPDATE", true}),
                         [](const auto& info) {
                             return std::string(info.param.key) +
                                    (info.param.empty ? "Empty" : "Absent");
                         });

TEST_F(MessageCatalogue, DisableVerIsSetOnlyByExactlyYes) {
    WriteIniWithout("");
    const std::pair<const char*, bool> values[] = {{"YES", true},   {"yes", false}, {"Yes", false},
                                                   {"YES!", false}, {"1", false},   {"", false}};
    for (auto [value, expected] : values) {
        State.DISABLE_VER = !expected;
        FakeProfile_Set(kIni, "DEBUG", "DISABLE_VER", value);
        EXPECT_TRUE(LoadMessageCatalogue());
        EXPECT_EQ(State.DISABLE_VER, expected) << '"' << value << '"';
    }
}

TEST_F(MessageCatalogue, LongValueIsCutTo255Characters) {
    WriteIniWithout("");
    std::string longValue(1000, 'x');
    longValue[254] = 'E';
    FakeProfile_Set(kIni, "INIT", "NONEED", longValue);
    FakeProfile_Set(kIni, "INIT", "CURRENT", std::string(300, '\xFF'));
    EXPECT_TRUE(LoadMessageCatalogue());
    EXPECT_EQ(std::string(State.NONEED), longValue.substr(0, 255));
    EXPECT_EQ(std::string(State.CURRENT), std::string(255, '\xFF'));
}

TEST_F(MessageCatalogue, ControlCharactersAndHighBytesPassUnchanged) {
    WriteIniWithout("");
    FakeProfile_Set(kIni, "INIT", "FINISH", "\x01\t\x7F\xE9\xFF\\n\x1B");
    EXPECT_TRUE(LoadMessageCatalogue());
    EXPECT_STREQ(State.FINISH, "\x01\t\x7F\xE9\xFF\n\x1B");
}

// ---- An unusable program directory never leads to reading a profile file ----

TEST_F(MessageCatalogue, ModulePathNotWrittenFailsWithoutReading) {
    FakePlatform_Reset();
    EXPECT_FALSE(LoadMessageCatalogue());
    EXPECT_TRUE(FakeProfile_Reads().empty());
    EXPECT_STREQ(State.ERROR, "Error");
}

TEST_F(MessageCatalogue, ModulePathCutShortFailsWithoutReading) {
    FakeModule_SetPath("C:\\" + std::string(300, 'd') + "\\updater.exe");
    EXPECT_FALSE(LoadMessageCatalogue());
    EXPECT_TRUE(FakeProfile_Reads().empty());
}

TEST_F(MessageCatalogue, DirectoryWithoutRoomForTheFileNameFailsWithoutReading) {
    // 250 characters of directory: "UPDATE.INI" and its NUL would need 261 bytes.
    std::string directory = "C:\\" + std::string(246, 'd') + "\\";
    ASSERT_EQ(directory.size(), 250u);
    FakeModule_SetPath(directory + "u.exe");
    EXPECT_FALSE(LoadMessageCatalogue());
    EXPECT_TRUE(FakeProfile_Reads().empty());

    // One character less fits exactly.
    directory.erase(3, 1);
    FakeModule_SetPath(directory + "u.exe");
    WriteIniWithout("");
    for (const KeyValue& entry : kGoodIni) {
        FakeProfile_Set(directory + "UPDATE.INI", "INIT", entry.key, entry.value);
    }
    EXPECT_TRUE(LoadMessageCatalogue());
}

// ---- Line breaks ----

struct ExpandCase {
    const char* name;
    std::string text;
    bool codePage932;
    std::string expected;
};

void PrintTo(const ExpandCase& c, std::ostream* os) {
    *os << c.name;
}

const ExpandCase kExpansions[] = {
    {"TwoSentences", "One.\\nTwo.", false, "One.\nTwo."},
    {"PathGetsABreakToo", "Copy to C:\\new", false, "Copy to C:\new"},
    {"DoubleBackslashThenN", "a\\\\nb", false, "a\\\nb"},
    {"UpperCaseNStays", "a\\Nb", false, "a\\Nb"},
    {"OtherEscapesStay", "a\\tb\\", false, "a\\tb\\"},
    {"BreaksInARow", "\\n\\n\\n", false, "\n\n\n"},
    {"SingleByteTrailIsExpanded", "\x95\\n", false, "\x95\n"},
    {"DoubleByteTrailIsKept", "\x95\\n", true, "\x95\\n"},
    {"BreakAfterDoubleByteCharacter", "\x95\\\\n", true, "\x95\\\n"},
    {"LeadByteAtTheEnd", "ab\\n\x95", true, "ab\n\x95"},
    {"Empty", "", false, ""},
};

class LineBreaks : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(LineBreaks, AreExpandedInPlace) {
    const ExpandCase& c = GetParam();
    FakePlatform_Reset();
    FakeText_UseCodePage932(c.codePage932);
    char text[kTextSlotSize];
    snprintf(text, sizeof text, "%s", c.text.c_str());
    ExpandLineBreaks(text);
    EXPECT_EQ(std::string(text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, LineBreaks, ::testing::ValuesIn(kExpansions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
