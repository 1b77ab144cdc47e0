/* tools/release_check.cpp: what a release folder will do on a user's PC, found beforehand. */
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
#include "platform/platform.h"
#include "run/run_driver.h"
#include "run/run_state.h"
#include "tools/bundle_platform.h"
#include "tools/escape.h"
#include "tools/ini_reader.h"
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

class Checker {
  public:
    Checker(std::string release, std::string device)
        : release_(std::move(release)), device_(std::move(device)) {}

    std::vector<Finding> Run() {
        if (!fs::is_directory(release_)) {
            Add(Severity::Error, "cannot read the release folder " + release_);
            return findings_;
        }
        CheckCatalogue();
        CheckPackageHeader();
        CheckPayload();
        CheckLongTexts();
        if (!device_.empty()) {
            CheckAgainstDevice();
        }
        return findings_;
    }

  private:
    void Add(Severity severity, const std::string& text) { findings_.push_back({severity, text}); }

    void CheckCatalogue() {
        std::string path = FindFileNoCase(release_, "UPDATE.INI");
        if (path.empty()) {
            Add(Severity::Error, std::string("UPDATE.INI is missing: ") + kErrorZero);
            return;
        }
        std::string text = ReadWhole(path);
        if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
            Add(Severity::Error, "UPDATE.INI is saved as UTF-16: save it as ANSI or UTF-8");
            return;
        }
        ini_ = ParseIni(text);
        for (const CatalogueEntry& entry : kCatalogue) {
            const char* key = entry.key;
            std::optional<std::string> value = ini_->Find("INIT", key);
            std::string name = std::string("[INIT] ") + key;
            if (!value) {
                Add(Severity::Error, name + " is missing: " + kErrorZero);
            } else if (value->empty()) {
                Add(Severity::Error, name + " is empty: " + kErrorZero);
            } else if (value->size() >= kTextSlotSize) {
                Add(Severity::Warning, name + " has " + std::to_string(value->size()) +
                                           " characters: the updater keeps the first 255");
            }
        }
        std::optional<std::string> disableVer = ini_->Find("DEBUG", "DISABLE_VER");
        if (disableVer == "YES") {
            Add(Severity::Error,
                "[DEBUG] DISABLE_VER=YES: the updater would skip the region, model and version "
                "checks and offer this package to any device");
        } else if (disableVer && !disableVer->empty()) {
            Add(Severity::Warning, "[DEBUG] DISABLE_VER=\"" + Escape(*disableVer) +
                                       "\" has no effect (only YES has): remove it from a release");
        }
        if (text.starts_with(kUtf8ByteOrderMark) &&
            std::any_of(text.begin() + 3, text.end(), [](char c) { return (c & 0x80) != 0; })) {
            Add(Severity::Warning,
                "UPDATE.INI is UTF-8 with characters beyond ASCII: Windows converts them to the "
                "user's code page, where some may show as \"?\"");
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
                Add(Severity::Note, "update.udx: region " + Hex(package.region) +
                                        (package.region == 0 ? " (every region)" : "") +
                                        ", model " + Hex(package.model) + ", version \"" +
                                        Escape(package.version) + "\"");
                break;
            }
            case CheckResult::PackageHeaderUnopenable:
                Add(Severity::Error, "update.udx is missing: the updater would show code 0x20");
                break;
            case CheckResult::PackageHeaderShort:
                Add(Severity::Error, "update.udx holds " + std::to_string(fs::file_size(path)) +
                                         " bytes, fewer than its 512-byte header: code 0x21");
                break;
            default: {
                std::string bytes = ReadWhole(path).substr(0, kPackageHeader.size);
                const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data());
                Add(Severity::Error, "update.udx: the header's CRC is " +
                                         Hex(ComputedCrc(header, kPackageHeader)) + " but " +
                                         Hex(StoredCrc(header)) + " is stored: code 0x22");
                break;
            }
        }
    }

    void CheckPayload() {
        std::string path = FindFileNoCase(release_, kPackagePayloadName);
        if (path.empty()) {
            Add(Severity::Error,
                "update.udi is missing: after update.udx is copied, the updater would show "
                "code 0x50");
        } else if (fs::file_size(path) == 0) {
            Add(Severity::Error, "update.udi is empty");
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
                Add(Severity::Warning,
                    std::string("the ") + dialog + " can reach " + std::to_string(length) +
                        " characters (with a 12-character device version): the updater cuts "
                        "it at 511");
            }
        }
    }

    void CheckAgainstDevice() {
        if (!fs::is_directory(device_)) {
            Add(Severity::Error, "cannot read the device folder " + device_);
            return;
        }
        ResetRunState();
        BundlePlatform_Set(release_, device_);
        if (!LoadMessageCatalogue() || !FindDeviceVolume()) {
            Add(Severity::Note, "against " + device_ + ": UPDATE.INI fails to load: error 0x00");
        } else {
            auto code = static_cast<unsigned>(CheckFirmware());
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", code);
            Add(Severity::Note, "against " + device_ + ": result " + hex + ", " + Meaning(code));
        }
        // The whole run, by the updater's own driver; a question is answered No.
        ResetRunState();
        BundlePlatform_Set(release_, device_);
        RunUpdater();
        for (const ShownDialog& dialog : BundlePlatform_Dialogs()) {
            Add(Severity::Note, "dialog \"" + Escape(dialog.caption) + "\": \"" +
                                    Escape(dialog.text) + "\" " + Buttons(dialog.style));
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

int PrintFindings(const std::vector<Finding>& findings) {
    int errors = 0;
    int warnings = 0;
    for (const Finding& finding : findings) {
        const char* label = finding.severity == Severity::Error     ? "error"
                            : finding.severity == Severity::Warning ? "warning"
                                                                    : "note";
        errors += finding.severity == Severity::Error;
        warnings += finding.severity == Severity::Warning;
        std::printf("%s: %s\n", label, finding.text.c_str());
    }
    std::printf("%d error%s, %d warning%s\n", errors, errors == 1 ? "" : "s", warnings,
                warnings == 1 ? "" : "s");
    return errors > 0 ? 1 : 0;
}
