/* platform/common/profile_file.h: UPDATE.INI read by the rules of the Windows profile
 * functions, for the platforms that don't have them (Linux) and for dravon-pack's check,
 * so that both see the values that the updater gets on Windows.
 *
 * The file's bytes, as Windows takes them:
 *   - a file that begins with the UTF-16 little-endian mark is Unicode, converted to the
 *     ANSI code page (1252 here); a character that it lacks becomes "?";
 *   - anything else is text in the ANSI code page, byte by byte: a UTF-8 byte-order mark
 *     is three characters of the first line, so a section header there is not one.
 * The lines:
 *   - a section header runs from "[" to the last "]" of its line; section and key names
 *     compare case-insensitively, blanks around them trimmed;
 *   - blanks around a value are trimmed, and a value enclosed in matching quotes (" or ')
 *     loses them;
 *   - the first section of a name counts, and in it the first of duplicate keys;
 *   - a line without "=" names a key without a value, which reads as absent; the lines
 *     before the first header form a section without a name; a line beginning with ";"
 *     names no key that is ever asked for, so comments need no rule of their own. */
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
inline constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

// A profile file's text as the profile functions see it.
struct ProfileText {
    bool utf16 = false;                     // read as UTF-16 little-endian and converted
    std::string text;                       // in the ANSI code page
    std::vector<std::uint32_t> unmappable;  // characters that became "?", in order
};

ProfileText DecodeProfileFile(const std::string& bytes);

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

// Parses decoded text (ProfileText::text).
IniFile ParseIni(const std::string& text);

// Whether two names are equal but for the case of ASCII letters, as Windows compares them.
bool EqualNoCase(std::string_view a, std::string_view b);
