/* tools/release_check.cpp: what a release folder will do on a user's Windows PC, found
 * beforehand. */
#include "tools/release_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "firmware/record_format.h"
#include "firmware/records.h"
#include "firmware/update_decision.h"
#include "messages/message_catalogue.h"
#include "platform/common/profile_file.h"
#include "platform/platform.h"
#include "run/run_driver.h"
#include "run/run_state.h"
#include "tools/bundle_platform.h"
#include "tools/escape.h"
#include "tools/host_files.h"
#include "tools/pe_file.h"
#include "volume/device_volume.h"

namespace fs = std::filesystem;

namespace {

constexpr char kErrorZero[] = "every user would see \"Error CODE : 0x00\"";

const char* Meaning(unsigned code) {
    switch (code) {
        case 0x00:
            return "the update is offered";
        case 0x01:
            return "no update needed: the device has the same or a later version";
        case 0x10:
            return "version.dat can't be opened on the device";
        case 0x11:
            return "version.dat holds fewer than 28 bytes";
        case 0x12:
            return "version.dat fails its CRC";
        case 0x20:
            return "update.udx can't be opened";
        case 0x21:
            return "update.udx holds fewer than 512 bytes";
        case 0x22:
            return "the header of update.udx fails its CRC";
        case 0x30:
            return "refused: the package is for another region";
        case 0x31:
            return "refused: the package is for another model";
        default:
            return "unknown";
    }
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// A text as the updater holds it: cut to 255 characters, line breaks expanded where marked.
std::string AsLoaded(const IniFile& ini, const char* key) {
    char slot[kTextSlotSize];
    std::snprintf(slot, sizeof slot, "%s", ini.Find("INIT", key).value_or("").c_str());
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.expandLineBreaks && std::strcmp(entry.key, key) == 0) {
            ExpandLineBreaks(slot);
        }
    }
    return slot;
}

// Whether `text` is valid UTF-8 holding at least one character beyond ASCII.
bool IsUtf8BeyondAscii(std::string_view text) {
    bool beyond = false;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80           ? 1
                             : (byte >> 5) == 0x6  ? 2
                             : (byte >> 4) == 0xE  ? 3
                             : (byte >> 3) == 0x1E ? 4
                                                   : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        beyond = beyond || length > 1;
        i += length;
    }
    return beyond;
}

// Whether the first line of `text` is, by the profile reader's own rules, the header of
// section INIT.
bool FirstLineIsInitHeader(std::string_view text) {
    IniFile firstLine = ParseIni(std::string(text.substr(0, text.find_first_of("\r\n"))));
    return firstLine.sections.size() == 2 && EqualNoCase(firstLine.sections[1].name, "INIT");
}

std::string CodePoints(const std::vector<std::uint32_t>& characters) {
    std::string list;
    for (std::size_t i = 0; i < characters.size() && i < 5; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%sU+%04X", i == 0 ? "" : " ", characters[i]);
        list += code;
    }
    return list + (characters.size() > 5 ? " ..." : "");
}

class Checker {
  public:
    Checker(std::string release, std::string device)
        : release_(std::move(release)), device_(std::move(device)) {}

    std::vector<Finding> Run() {
        std::error_code error;
        fs::directory_iterator readable(release_, error);
        if (error) {
            Add(Severity::Error, "release-unreadable", "cannot read the release folder " + release_)
                .inputOutput = true;
            return findings_;
        }
        CheckExecutable();
        CheckCatalogue();
        CheckPackageHeader();
        CheckPayload();
        CheckAttributes();
        CheckLongTexts();
        if (!device_.empty()) {
            CheckAgainstDevice();
        }
        return findings_;
    }

  private:
    Finding& Add(Severity severity, const std::string& code, const std::string& text,
                 const std::string& file = "") {
        findings_.push_back({severity, code, text, file});
        return findings_.back();
    }

    void CheckExecutable() {
        const std::string name = "DravonUpdater.exe";
        std::string path = FindFileNoCase(release_, name);
        if (path.empty()) {
            Add(Severity::Error, "exe-missing", name + " is missing", name);
            return;
        }
        std::optional<ExecutableFacts> facts = ReadExecutable(ReadWhole(path));
        if (!facts) {
            Add(Severity::Error, "exe-not-pe", name + " is not a Windows program", name);
            return;
        }
        if (!facts->x64 || !facts->gui) {
            Add(Severity::Error, "exe-not-x64-gui",
                name + " is not a 64-bit Windows GUI program: it is not the updater's build", name);
        }
        if (facts->fileVersion) {
            const auto& v = *facts->fileVersion;
            Add(Severity::Note, "exe-version",
                name + ": file version " + std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                    std::to_string(v[2]) + "." + std::to_string(v[3]),
                name);
        } else {
            Add(Severity::Warning, "exe-no-version", name + " carries no version record", name);
        }
        Add(Severity::Note, facts->signature ? "exe-signed" : "exe-unsigned",
            facts->signature ? name + " carries an Authenticode signature (not verified here)"
                             : name + " is not signed: Windows may warn users who start it",
            name);
    }

    // Files that reach the device take their attributes there.
    void CheckAttributes() {
        for (const char* name : {kPackageHeaderName, kPackagePayloadName}) {
            std::string path = FindFileNoCase(release_, name);
            std::optional<FileAttributes> attributes =
                path.empty() ? std::nullopt : ReadAttributes(path);
            if (attributes && attributes->readOnly) {
                Add(Severity::Warning, "read-only",
                    std::string(name) +
                        " is read-only: Windows gives its copy on the device the same attribute "
                        "(this updater clears it again); clear it in the bundle",
                    name);
            }
            if (attributes && attributes->hidden) {
                Add(Severity::Warning, "hidden",
                    std::string(name) + " is hidden: its copy on the device will be hidden too",
                    name);
            }
        }
    }

    void CheckCatalogue() {
        const std::string ini = kCatalogueName;
        std::string path = FindFileNoCase(release_, ini);
        if (path.empty()) {
            Add(Severity::Error, "ini-missing", ini + " is missing: " + kErrorZero, ini);
            return;
        }
        std::string bytes = ReadWhole(path);
        ProfileText decoded = DecodeProfileFile(bytes);
        CheckEncoding(bytes, decoded);
        ini_ = ParseIni(decoded.text);
        for (const CatalogueEntry& entry : kCatalogue) {
            const char* key = entry.key;
            std::optional<std::string> value = ini_->Find("INIT", key);
            std::string name = std::string("[INIT] ") + key;
            if (!value) {
                Add(Severity::Error, "key-missing", name + " is missing: " + kErrorZero, ini);
            } else if (value->empty()) {
                Add(Severity::Error, "key-empty", name + " is empty: " + kErrorZero, ini);
            } else if (value->size() >= kTextSlotSize) {
                Add(Severity::Warning, "key-long",
                    name + " has " + std::to_string(value->size()) +
                        " characters: the updater keeps the first 255",
                    ini);
            }
        }
        std::optional<std::string> disableVer = ini_->Find("DEBUG", "DISABLE_VER");
        if (disableVer == "YES") {
            Add(Severity::Error, "bypass",
                "[DEBUG] DISABLE_VER=YES: the updater would skip the region, model and version "
                "checks and offer this package to any device",
                ini);
        } else if (disableVer && !disableVer->empty()) {
            Add(Severity::Warning, "bypass-no-effect",
                "[DEBUG] DISABLE_VER=\"" + Escape(*disableVer) +
                    "\" has no effect (only YES has): remove it from a release",
                ini);
        }
    }

    // How Windows takes the file's bytes, where that differs from what its author meant.
    void CheckEncoding(const std::string& bytes, const ProfileText& decoded) {
        const std::string ini = kCatalogueName;
        std::string_view text = bytes;
        if (text.starts_with(kUtf16BigEndianMark)) {
            Add(Severity::Error, "ini-utf16-big-endian",
                ini + " is UTF-16 big-endian, which Windows does not read as Unicode: " +
                    kErrorZero + "; save it as ANSI or as UTF-16 little-endian",
                ini);
            return;
        }
        if (decoded.utf16) {
            Add(Severity::Note, "ini-utf16",
                ini +
                    " is UTF-16: Windows converts it to the user's ANSI code page (checked "
                    "here against Windows-1252)",
                ini);
            if (!decoded.unmappable.empty()) {
                Add(Severity::Warning, "ini-utf16-unmappable",
                    ini + " holds " + std::to_string(decoded.unmappable.size()) +
                        " character(s) that Windows-1252 lacks (" + CodePoints(decoded.unmappable) +
                        "): Windows shows them as \"?\"",
                    ini);
            }
            return;
        }
        const bool mark = text.starts_with(kUtf8ByteOrderMark);
        if (mark) {
            text.remove_prefix(kUtf8ByteOrderMark.size());
            if (FirstLineIsInitHeader(text)) {
                Add(Severity::Error, "ini-mark-hides-init",
                    ini +
                        " begins with a UTF-8 byte-order mark, which Windows reads as part of "
                        "line 1, so [INIT] there is not found: " +
                        kErrorZero + "; save it without the mark, or move [INIT] off line 1",
                    ini);
            }
        }
        if (IsUtf8BeyondAscii(text)) {
            Add(Severity::Warning, "ini-utf8",
                ini +
                    " is UTF-8 with characters beyond ASCII, which Windows reads in the user's "
                    "ANSI code page: they show garbled (\"\xC3\x83\xC2\xA9\" for "
                    "\"\xC3\xA9\"); save it as ANSI (Windows-1252) or as UTF-16",
                ini);
        }
    }

    void CheckPackageHeader() {
        ResetRunState();
        BundlePlatform_Set(release_, "");
        std::snprintf(State.ProgramDirectory, sizeof State.ProgramDirectory, "P:\\");
        CheckResult result = ReadPackageIdentity();
        std::string path = FindFileNoCase(release_, kPackageHeaderName);
        switch (result) {
            case CheckResult::Offer: {
                const FirmwareIdentity& package = State.PackageIdentity;
                package_ = package;
                Add(Severity::Note, "package",
                    "update.udx: region " + Hex(package.region) +
                        (package.region == 0 ? " (every region)" : "") + ", model " +
                        Hex(package.model) + ", version \"" + Escape(package.version) + "\"",
                    kPackageHeaderName);
                break;
            }
            case CheckResult::PackageHeaderUnopenable:
                Add(Severity::Error, "package-missing",
                    "update.udx is missing: the updater would show code 0x20", kPackageHeaderName);
                break;
            case CheckResult::PackageHeaderShort:
                Add(Severity::Error, "package-short",
                    "update.udx holds " + std::to_string(fs::file_size(path)) +
                        " bytes, fewer than its 512-byte header: code 0x21",
                    kPackageHeaderName);
                break;
            default: {
                std::string bytes = ReadWhole(path).substr(0, kPackageHeader.size);
                const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data());
                Add(Severity::Error, "package-crc",
                    "update.udx: the header's CRC is " + Hex(ComputedCrc(header, kPackageHeader)) +
                        " but " + Hex(StoredCrc(header)) +
                        " is stored: code 0x22 (dravon-pack seal writes it anew)",
                    kPackageHeaderName);
                break;
            }
        }
    }

    void CheckPayload() {
        std::string path = FindFileNoCase(release_, kPackagePayloadName);
        if (path.empty()) {
            Add(Severity::Error, "payload-missing",
                "update.udi is missing: after update.udx is copied, the updater would show "
                "code 0x50",
                kPackagePayloadName);
        } else if (fs::file_size(path) == 0) {
            Add(Severity::Error, "payload-empty", "update.udi is empty", kPackagePayloadName);
        }
    }

    // The no-need notice and the question: two labels, two versions, a closing text.
    void CheckLongTexts() {
        if (!ini_) {
            return;
        }
        std::size_t packageVersion = package_ ? std::strlen(package_->version) : kVersionFieldSize;
        std::size_t fixed = AsLoaded(*ini_, "CURRENT").size() + kVersionFieldSize + 1 +
                            AsLoaded(*ini_, "UPDATE").size() + packageVersion + 2;
        const std::pair<const char*, const char*> dialogs[] = {{"NONEED", "no-need notice"},
                                                               {"CONFIRM", "question"}};
        for (auto [key, dialog] : dialogs) {
            std::size_t length = fixed + AsLoaded(*ini_, key).size();
            if (length >= kDialogTextSize) {
                Add(Severity::Warning, "dialog-long",
                    std::string("the ") + dialog + " can reach " + std::to_string(length) +
                        " characters (with a 12-character device version): the updater cuts "
                        "it at 511",
                    kCatalogueName);
            }
        }
    }

    void CheckAgainstDevice() {
        std::error_code error;
        fs::directory_iterator readable(device_, error);
        if (error) {
            Add(Severity::Error, "device-unreadable", "cannot read the device folder " + device_)
                .inputOutput = true;
            return;
        }
        ResetRunState();
        BundlePlatform_Set(release_, device_);
        if (!LoadMessageCatalogue() || !FindDeviceVolume()) {
            Add(Severity::Note, "device-result",
                "against " + device_ + ": UPDATE.INI fails to load: error 0x00");
        } else {
            auto code = static_cast<unsigned>(CheckFirmware());
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", code);
            Add(Severity::Note, "device-result",
                "against " + device_ + ": result " + hex + ", " + Meaning(code));
        }
        // The whole run, by the updater's own driver; a question is answered No.
        ResetRunState();
        BundlePlatform_Set(release_, device_);
        RunUpdater();
        for (const ShownDialog& dialog : BundlePlatform_Dialogs()) {
            Add(Severity::Note, "dialog",
                "dialog \"" + Escape(dialog.caption) + "\": \"" + Escape(dialog.text) + "\" " +
                    Buttons(dialog.style));
        }
    }

    static std::string Buttons(unsigned style) {
        std::string buttons = (style & kBoxYesNo) == kBoxYesNo ? "[Yes] [No]" : "[OK]";
        if ((style & 0xF0) == kBoxIconError) {
            return buttons + ", error icon";
        }
        if ((style & 0xF0) == kBoxIconQuestion) {
            return buttons + ", question icon";
        }
        return buttons + ", information icon";
    }

    std::string release_;
    std::string device_;
    std::optional<IniFile> ini_;
    std::optional<FirmwareIdentity> package_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckRelease(const std::string& release, const std::string& device) {
    return Checker(release, device).Run();
}

namespace {

const char* Label(Severity severity) {
    return severity == Severity::Error     ? "error"
           : severity == Severity::Warning ? "warning"
                                           : "note";
}

// A JSON string: UTF-8 as it is; any other byte above ASCII taken as Latin-1.
std::string Json(const std::string& text) {
    const bool utf8 = IsUtf8BeyondAscii(text);
    std::string out = "\"";
    for (unsigned char c : text) {
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || (c >= 0x80 && !utf8)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

int ReportFindings(const std::vector<Finding>& findings, const CheckOptions& options) {
    int errors = 0;
    int warnings = 0;
    bool inputOutput = false;
    if (options.json) {
        std::printf("[");
    }
    for (const Finding& finding : findings) {
        Severity severity = options.strict && finding.severity == Severity::Warning
                                ? Severity::Error
                                : finding.severity;
        errors += severity == Severity::Error;
        warnings += severity == Severity::Warning;
        inputOutput = inputOutput || finding.inputOutput;
        if (options.json) {
            std::printf("%s\n  {\"level\": \"%s\", \"code\": %s, \"message\": %s, \"file\": %s}",
                        &finding == &findings.front() ? "" : ",", Label(severity),
                        Json(finding.code).c_str(), Json(finding.text).c_str(),
                        Json(finding.file).c_str());
        } else {
            std::printf("%s: %s\n", Label(severity), finding.text.c_str());
        }
    }
    if (options.json) {
        std::printf("\n]\n");
    } else {
        std::printf("%d error%s, %d warning%s\n", errors, errors == 1 ? "" : "s", warnings,
                    warnings == 1 ? "" : "s");
    }
    return inputOutput ? 2 : errors > 0 ? 1 : 0;
}
