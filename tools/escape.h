/* tools/escape.h: how a text is printed on one line, by dravon-pack and by the end-to-end
 * helpers on both sides: \\ for a backslash, \n for a line feed, \xHH for any other byte
 * outside printable ASCII. */
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

inline std::string Escape(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        char hex[8];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
