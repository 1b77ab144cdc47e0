/* messages/message_catalogue.h: the dialog texts and the debug switch from UPDATE.INI. */
#pragma once

// Determines the program directory and reads, from UPDATE.INI there, the nine texts of
// section INIT into their slots (in slot order, stopping at the first missing or empty
// one) and then DEBUG/DISABLE_VER. True when all nine texts were found.
bool LoadMessageCatalogue();

// Rewrites `text` in place, replacing each backslash directly followed by a lower-case n
// with a line feed. Walks whole characters: a trail byte 0x5C is not a backslash.
void ExpandLineBreaks(char* text);
