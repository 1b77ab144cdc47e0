/* messages/message_catalogue.cpp: loading UPDATE.INI into the text slots. */
#include "messages/message_catalogue.h"

#include <cstring>

#include "messages/program_directory.h"
#include "platform/platform.h"
#include "run/ansi_text.h"
#include "run/run_state.h"
#include "run/text.h"

bool LoadMessageCatalogue() {
    if (!DetermineProgramDirectory()) {
        return false;
    }
    char path[kPathSize];
    if (!ComposePath(path, State.ProgramDirectory, kCatalogueName)) {
        return false;
    }
    for (const CatalogueEntry& entry : kCatalogue) {
        char* slot = State.*entry.slot;
        std::uint32_t count = ReadProfileString("INIT", entry.key, slot, kTextSlotSize, path);
        slot[kTextSlotSize - 1] = '\0';
        if (count == 0) {
            slot[0] = '\0';
            return false;
        }
        if (entry.expandLineBreaks) {
            ExpandLineBreaks(slot);
        }
    }
    char disableVer[kTextSlotSize];
    std::uint32_t count =
        ReadProfileString("DEBUG", "DISABLE_VER", disableVer, sizeof disableVer, path);
    disableVer[sizeof disableVer - 1] = '\0';
    State.DISABLE_VER = count != 0 && std::strcmp(disableVer, "YES") == 0;
    return true;
}

void ExpandLineBreaks(char* text) {
    std::size_t write = 0;
    for (std::size_t read = 0; text[read] != '\0';) {
        if (text[read] == '\\' && text[read + 1] == 'n') {
            text[write++] = '\n';
            read += 2;
            continue;
        }
        for (std::size_t end = read + CharacterLength(text + read); read < end;) {
            text[write++] = text[read++];
        }
    }
    text[write] = '\0';
}
