/* tools/dravon_pack.cpp: the command for whoever ships the updater: writes firmware
 * records, reads any record, and checks a release folder before it goes out.
 *
 * A file is written whole or not at all: the record goes to a temporary file beside it,
 * then is renamed. */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "firmware/record_format.h"
#include "tools/record_report.h"
#include "tools/release_check.h"

namespace {

constexpr char kUsage[] =
    "usage: dravon-pack device FILE --region N --model N --version TEXT\n"
    "       dravon-pack package FILE --region N --model N --version TEXT [--payload-size N]\n"
    "       dravon-pack inspect FILE...\n"
    "       dravon-pack check FOLDER [--device DIR]\n"
    "\n"
    "device   writes a 28-byte device version record (version.dat).\n"
    "package  writes a 512-byte package header (update.udx), followed by N payload bytes.\n"
    "         Numbers are decimal or 0x-prefixed hexadecimal; a version is at most 12 bytes;\n"
    "         region 0 in a package means every region.\n"
    "inspect  says whether each file is a device version record or a package header (by\n"
    "         its size and the CRC that holds), and prints its region, model and version as\n"
    "         the updater reads them, with the stored and computed CRC.\n"
    "check    checks a release folder (DravonUpdater.exe's folder) as the updater will use\n"
    "         it: UPDATE.INI and its nine [INIT] texts, [DEBUG] DISABLE_VER, update.udx and\n"
    "         its header, update.udi. One line per finding (error, warning or note); the\n"
    "         exit status is 1 when there is an error. With --device DIR it also runs the\n"
    "         updater's own code against DIR/version.dat, and prints the result code and the\n"
    "         dialogs that the updater would show there (a question answered No).\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "dravon-pack: %s\n", message.c_str());
    return 2;
}

std::optional<std::uint32_t> ParseNumber(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// Writes `bytes` to `path` through a temporary file, so that no half-written file remains.
bool WriteWhole(const std::string& path, const std::vector<std::uint8_t>& bytes,
                std::string* error) {
    std::string temporary = path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0) {
        return true;
    }
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "inspect" && args.size() >= 2) {
        return InspectFiles({args.begin() + 1, args.end()});
    }
    if (args[0] == "check" && (args.size() == 2 || (args.size() == 4 && args[2] == "--device"))) {
        return PrintFindings(CheckRelease(args[1], args.size() == 4 ? args[3] : ""));
    }
    if ((args[0] != "device" && args[0] != "package") || args.size() < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const bool isPackage = args[0] == "package";
    const std::string path = args[1];
    std::optional<std::uint32_t> region, model, payloadSize = 0;
    std::optional<std::string> version;
    for (std::size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) {
            return Fail("missing value after " + args[i]);
        }
        const std::string& name = args[i];
        const std::string& value = args[i + 1];
        if (name == "--version") {
            version = value;
        } else if (name == "--region" || name == "--model" ||
                   (isPackage && name == "--payload-size")) {
            std::optional<std::uint32_t> number = ParseNumber(value);
            if (!number) {
                return Fail("not a number from 0 to 0xFFFFFFFF: " + name + " " + value);
            }
            (name == "--region" ? region : name == "--model" ? model : payloadSize) = number;
        } else {
            return Fail("unknown option " + name);
        }
    }
    if (!region || !model || !version) {
        return Fail("--region, --model and --version are all needed");
    }
    if (version->size() > kVersionFieldSize) {
        return Fail("version \"" + *version + "\" is longer than 12 bytes");
    }
    const RecordLayout& layout = isPackage ? kPackageHeader : kDeviceRecord;
    std::vector<std::uint8_t> bytes(layout.size, 0);
    EncodeRecord(bytes.data(), layout, *region, *model, version->c_str());
    for (std::uint32_t i = 0; i < *payloadSize; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i * 131 + 7));  // any bytes will do
    }
    std::string error;
    if (!WriteWhole(path, bytes, &error)) {
        return Fail(error);
    }
    return 0;
}
