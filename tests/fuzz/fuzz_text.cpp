/* Fuzz target: line-break expansion, the directory scan and the cut of a composed text,
 * over arbitrary bytes, in a single-byte and an emulated double-byte code page. */
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_platform.h"
#include "messages/message_catalogue.h"
#include "messages/program_directory.h"
#include "run/ansi_text.h"
#include "run/run_state.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

// Input: one control byte (bit 0: code page 932), then the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    FakePlatform_Reset();
    ResetRunState();
    FakeText_UseCodePage932((data[0] & 1) != 0);
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string untilNul = text.substr(0, text.find('\0'));

    // Expansion only shortens, and leaves no backslash-n pair at the start of a character:
    // a backslash kept is one that no n followed (a 0x5C trail byte is not one).
    char slot[kTextSlotSize];
    std::snprintf(slot, sizeof slot, "%s", untilNul.c_str());
    std::size_t before = std::strlen(slot);
    ExpandLineBreaks(slot);
    Require(std::strlen(slot) <= before);
    for (std::size_t i = 0; slot[i] != '\0'; i += CharacterLength(slot + i)) {
        Require(!(slot[i] == '\\' && slot[i + 1] == 'n'));
    }

    // The directory is a prefix of the module path that ends in a backslash.
    FakeModule_SetPath(untilNul);
    bool usable = DetermineProgramDirectory();
    std::string directory = State.ProgramDirectory;
    Require(directory.size() < kPathSize);
    if (usable) {
        Require(!directory.empty() && directory.back() == '\\');
        Require(untilNul.compare(0, directory.size(), directory) == 0);
    }

    // A cut text is the start of the whole text, cut at a character's boundary (never
    // between a lead byte and its trail byte) and at most one byte short of the buffer.
    char composed[64];
    std::string whole = untilNul + untilNul;
    ComposeText(composed, sizeof composed, "%s%s", untilNul.c_str(), untilNul.c_str());
    std::size_t length = std::strlen(composed);
    Require(whole.compare(0, length, composed) == 0);
    if (whole.size() < sizeof composed) {
        Require(length == whole.size());
    } else {
        std::size_t boundary = 0;
        while (boundary + CharacterLength(whole.c_str() + boundary) <= sizeof composed - 1) {
            boundary += CharacterLength(whole.c_str() + boundary);
        }
        Require(length == boundary);
    }
    return 0;
}
