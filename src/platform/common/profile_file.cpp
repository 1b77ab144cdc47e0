/* platform/common/profile_file.cpp: UPDATE.INI read as the Windows profile functions read it. */
#include "platform/common/profile_file.h"

#include <algorithm>
#include <string_view>

#include "platform/common/code_page_1252.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A line ends at LF; a rest of the file without LF ends at CR instead.
std::string_view NextLine(std::string_view& rest) {
    std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
        end = rest.find('\r');
    }
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return line;
}

// Enclosing quotes go when the value begins with one and ends with the same.
std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

}  // namespace

ProfileText DecodeProfileFile(const std::string& bytes) {
    ProfileText decoded;
    if (!std::string_view(bytes).starts_with(kUtf16LittleEndianMark)) {
        decoded.text = bytes;
        return decoded;
    }
    decoded.utf16 = true;
    for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
        std::uint32_t unit =
            static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
        // A surrogate pair is one character beyond the code page, one "?".
        if (unit >= 0xD800 && unit < 0xDC00 && at + 3 < bytes.size()) {
            std::uint32_t low = static_cast<unsigned char>(bytes[at + 2]) |
                                static_cast<unsigned char>(bytes[at + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        int byte = UnicodeToCp1252(unit);
        if (byte < 0) {
            decoded.unmappable.push_back(unit);
            byte = '?';
        }
        decoded.text += static_cast<char>(byte);
    }
    return decoded;
}

IniFile ParseIni(const std::string& text) {
    IniFile file;
    file.sections.push_back({"", {}});  // the lines before the first section header
    std::string_view rest = text;
    while (!rest.empty()) {
        std::string_view line = Trim(NextLine(rest));
        if (line.empty()) {
            continue;
        }
        // A section header runs to the last "]"; without one, the line is an entry.
        if (line.front() == '[') {
            std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                file.sections.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
                continue;
            }
        }
        std::size_t equals = line.find('=');
        IniEntry entry;
        if (equals == std::string_view::npos) {
            entry.key = std::string(line);
        } else {
            entry.key = std::string(Trim(line.substr(0, equals)));
            entry.value = Unquote(Trim(line.substr(equals + 1)));
        }
        file.sections.back().entries.push_back(entry);
    }
    return file;
}

std::optional<std::string> IniFile::Find(const std::string& section, const std::string& key) const {
    for (const IniSection& candidate : sections) {
        if (!EqualNoCase(candidate.name, Trim(section))) {
            continue;
        }
        // Only the first section of that name is searched.
        for (const IniEntry& entry : candidate.entries) {
            if (EqualNoCase(entry.key, Trim(key))) {
                return entry.value;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}
