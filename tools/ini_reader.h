/* tools/ini_reader.h: reads UPDATE.INI by the rules that the Windows profile functions
 * follow, so that the release check sees the values that the updater will get.
 *
 *   - a section header runs from "[" to the last "]" of its line; section and key names
 *     compare case-insensitively, blanks around them trimmed;
 *   - blanks around a value are trimmed, and a value enclosed in matching quotes (" or ')
 *     loses them;
 *   - the first section of a name counts, and in it the first of duplicate keys;
 *   - a line without "=" names a key without a value, which reads as absent; the lines
 *     before the first header form a section without a name; a line beginning with ";"
 *     names no key that is ever asked for, so comments need no rule of their own;
 *   - a UTF-8 byte order mark at the start is skipped. */
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

struct IniEntry {
    std::string key;
    std::optional<std::string> value;  // trimmed, enclosing quotes removed, not cut; none
                                       // for a line without "=", which reads as absent
};

struct IniSection {
    std::string name;  // "" for the lines before the first header
    std::vector<IniEntry> entries;
};

struct IniFile {
    std::vector<IniSection> sections;

    // The value as the profile functions would return it with a buffer large enough;
    // nothing when the section or the key is absent.
    std::optional<std::string> Find(const std::string& section, const std::string& key) const;
};

IniFile ParseIni(const std::string& text);

// Whether two names are equal but for the case of ASCII letters, as Windows compares them.
bool EqualNoCase(std::string_view a, std::string_view b);
