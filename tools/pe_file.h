/* tools/pe_file.h: what the release check needs to know of DravonUpdater.exe, read from
 * its PE headers and its version record. */
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct ExecutableFacts {
    bool x64;  // machine AMD64, PE32+ optional header
    bool gui;  // the Windows GUI subsystem
    std::optional<std::array<std::uint16_t, 4>> fileVersion;  // from VS_FIXEDFILEINFO
    bool signature;  // a certificate table (Authenticode) is present; not verified here
};

// Nothing when `image` is not a PE file, or is cut short.
std::optional<ExecutableFacts> ReadExecutable(const std::string& image);
