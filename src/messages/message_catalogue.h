/* messages/message_catalogue.h: the dialog texts and the debug switch from UPDATE.INI. */
#pragma once

#include "run/run_state.h"

// A text of section INIT: its key, its slot, and whether "\n" in it is a line break.
struct CatalogueEntry {
    const char* key;
    char (RunState::*slot)[kTextSlotSize];
    bool expandLineBreaks;
};

// In the order in which they are read.
inline constexpr CatalogueEntry kCatalogue[] = {
    {"TITLE", &RunState::TITLE, false},    {"NODRAVON", &RunState::NODRAVON, true},
    {"CONFIRM", &RunState::CONFIRM, true}, {"NOUPDATE", &RunState::NOUPDATE, true},
    {"NONEED", &RunState::NONEED, true},   {"CURRENT", &RunState::CURRENT, false},
    {"UPDATE", &RunState::UPDATE, false},  {"FINISH", &RunState::FINISH, true},
    {"ERROR", &RunState::ERROR, false},
};

// Determines the program directory and reads, from UPDATE.INI there, the nine texts of
// section INIT into their slots (in slot order, stopping at the first missing or empty
// one) and then DEBUG/DISABLE_VER. True when all nine texts were found.
bool LoadMessageCatalogue();

// Rewrites `text` in place, replacing each backslash directly followed by a lower-case n
// with a line feed. Walks whole characters: a trail byte 0x5C is not a backslash.
void ExpandLineBreaks(char* text);
