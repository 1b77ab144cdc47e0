/* tools/dravon_pack.cpp: the command for whoever ships the updater: writes and edits
 * firmware records, reads any record, and checks a release folder before it goes out.
 *
 * A file is written whole or not at all: it goes to a temporary file beside it, flushed to
 * the disk, which then replaces the target. */
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "firmware/record_format.h"
#include "tools/host_files.h"
#include "tools/record_report.h"
#include "tools/release_check.h"

namespace {

constexpr char kUsage[] =
    "usage: dravon-pack device FILE --region N --model N --version TEXT\n"
    "       dravon-pack package FILE [--header FILE] [--region N] [--model N] [--version TEXT]\n"
    "                                [--payload FILE | --payload-size N]\n"
    "       dravon-pack seal FILE [--region N] [--model N] [--version TEXT]\n"
    "       dravon-pack inspect FILE...\n"
    "       dravon-pack check FOLDER [--device DIR] [--json] [--strict]\n"
    "\n"
    "device   writes a 28-byte device version record (version.dat).\n"
    "package  writes update.udx: a 512-byte header, then the bytes of --payload FILE (or N\n"
    "         bytes of a pattern). With --header FILE the header starts as the first 512\n"
    "         bytes of FILE and keeps every byte that the updater does not examine; only the\n"
    "         fields given change. Without it, region, model and version are all needed.\n"
    "seal     edits the given fields of an existing version.dat or update.udx (of any\n"
    "         length: only its header changes) and writes its CRC anew; with no field\n"
    "         given it only writes the CRC. A file of 512 bytes or more is taken for a\n"
    "         package unless its first 28 bytes are a device record whose CRC holds.\n"
    "         Numbers are decimal or 0x-prefixed hexadecimal; a version is at most 12 bytes;\n"
    "         region 0 in a package means every region.\n"
    "inspect  says whether each file is a device version record or a package header (by\n"
    "         its size and the CRC that holds), and prints its region, model and version as\n"
    "         the updater reads them, with the stored and computed CRC.\n"
    "check    checks a release folder (DravonUpdater.exe's folder) as the updater will use\n"
    "         it on Windows: DravonUpdater.exe, UPDATE.INI and its nine [INIT] texts,\n"
    "         [DEBUG] DISABLE_VER, update.udx and its header, update.udi. One line per\n"
    "         finding (error, warning or note); with --json, a JSON array of objects (level,\n"
    "         code, message, file). With --device DIR it also runs the updater's own code\n"
    "         against DIR/version.dat and prints the result and the dialogs that the updater\n"
    "         would show (a question answered No). --strict counts warnings as errors.\n"
    "\n"
    "Exit status: 0 done (check: no error), 1 check found an error or inspect a file that\n"
    "is no record, 2 a usage or input/output problem.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "dravon-pack: %s\n", message.c_str());
    return 2;
}

// Decimal, or hexadecimal after 0x; never octal, whatever leading zeros there are.
std::optional<std::uint32_t> ParseNumber(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        int digit = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (value > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::string> ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes `bytes` to `path` through a temporary file, so that no half-written file remains.
bool WriteWhole(const std::string& path, const std::string& bytes, std::string* error) {
    std::string temporary = path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = FlushAndClose(file) && written;
    if (written && ReplaceWith(temporary, path)) {
        return true;
    }
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
}

// The options of the commands that write records.
struct RecordOptions {
    std::optional<std::uint32_t> region, model, payloadSize;
    std::optional<std::string> version, header, payload;
};

// Parses `args` from `first` on; the names allowed are those that `allowed` lists.
std::optional<RecordOptions> ParseOptions(const std::vector<std::string>& args, std::size_t first,
                                          const std::vector<std::string>& allowed,
                                          std::string* error) {
    RecordOptions options;
    for (std::size_t i = first; i < args.size(); i += 2) {
        const std::string& name = args[i];
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            *error = "unknown option " + name;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            *error = "missing value after " + name;
            return std::nullopt;
        }
        const std::string& value = args[i + 1];
        if (name == "--version") {
            if (value.size() > kVersionFieldSize) {
                *error = "version \"" + value + "\" is longer than 12 bytes";
                return std::nullopt;
            }
            options.version = value;
        } else if (name == "--header" || name == "--payload") {
            (name == "--header" ? options.header : options.payload) = value;
        } else {
            std::optional<std::uint32_t> number = ParseNumber(value);
            if (!number) {
                *error = "not a number from 0 to 0xFFFFFFFF: " + name + " " + value;
                return std::nullopt;
            }
            (name == "--region"  ? options.region
             : name == "--model" ? options.model
                                 : options.payloadSize) = number;
        }
    }
    if (options.payload && options.payloadSize) {
        *error = "--payload and --payload-size exclude each other";
        return std::nullopt;
    }
    return options;
}

// Sets the fields given in the record at the start of `bytes`, then its CRC.
void Edit(std::string& bytes, const RecordLayout& layout, const RecordOptions& options) {
    auto* record = reinterpret_cast<std::uint8_t*>(bytes.data());
    if (options.region) {
        StoreRegion(record, layout, *options.region);
    }
    if (options.model) {
        StoreModel(record, layout, *options.model);
    }
    if (options.version) {
        StoreVersion(record, layout, options.version->c_str());
    }
    SealRecord(record, layout);
}

// Which record a file to seal holds: a package from 512 bytes on, unless it begins with a
// device record whose CRC holds.
const RecordLayout* LayoutToSeal(const std::string& bytes) {
    const auto* record = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (bytes.size() < kDeviceRecord.size) {
        return nullptr;
    }
    if (bytes.size() < kPackageHeader.size ||
        StoredCrc(record) == ComputedCrc(record, kDeviceRecord)) {
        return &kDeviceRecord;
    }
    return &kPackageHeader;
}

int WriteRecord(const std::vector<std::string>& args) {
    const std::string& command = args[0];
    const std::string& path = args[1];
    std::vector<std::string> allowed = {"--region", "--model", "--version"};
    if (command == "package") {
        allowed.insert(allowed.end(), {"--header", "--payload", "--payload-size"});
    }
    std::string error;
    std::optional<RecordOptions> options = ParseOptions(args, 2, allowed, &error);
    if (!options) {
        return Fail(error);
    }
    std::string bytes;
    const RecordLayout& layout = command == "device" ? kDeviceRecord : kPackageHeader;
    if (command == "seal") {
        std::optional<std::string> existing = ReadWhole(path);
        if (!existing) {
            return Fail("cannot read " + path);
        }
        bytes = *existing;
        const RecordLayout* found = LayoutToSeal(bytes);
        if (found == nullptr) {
            return Fail(path + " holds " + std::to_string(bytes.size()) +
                        " bytes, fewer than a record's 28");
        }
        Edit(bytes, *found, *options);
    } else {
        if (options->header) {
            std::optional<std::string> header = ReadWhole(*options->header);
            if (!header || header->size() < kPackageHeader.size) {
                return Fail(*options->header + " holds no 512-byte header");
            }
            bytes = header->substr(0, kPackageHeader.size);
        } else if (!options->region || !options->model || !options->version) {
            return Fail("--region, --model and --version are all needed");
        } else {
            bytes.assign(layout.size, '\0');
        }
        Edit(bytes, layout, *options);
        if (options->payload) {
            std::optional<std::string> payload = ReadWhole(*options->payload);
            if (!payload) {
                return Fail("cannot read " + *options->payload);
            }
            bytes += *payload;
        }
        for (std::uint32_t i = 0; i < options->payloadSize.value_or(0); ++i) {
            bytes += static_cast<char>(i * 131 + 7);  // any bytes will do
        }
    }
    if (!WriteWhole(path, bytes, &error)) {
        return Fail(error);
    }
    return 0;
}

int Check(const std::vector<std::string>& args) {
    CheckOptions options;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
        } else if (args[i] == "--strict") {
            options.strict = true;
        } else if (args[i] == "--device" && i + 1 < args.size()) {
            options.device = args[++i];
        } else {
            return Fail("unknown or incomplete option " + args[i]);
        }
    }
    return ReportFindings(CheckRelease(args[1], options.device), options);
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
    if (args[0] == "check" && args.size() >= 2) {
        return Check(args);
    }
    if ((args[0] == "device" || args[0] == "package" || args[0] == "seal") && args.size() >= 2) {
        return WriteRecord(args);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
