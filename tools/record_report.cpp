/* tools/record_report.cpp: reading any record file the way the updater reads it. */
#include "tools/record_report.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "firmware/record_format.h"
#include "tools/escape.h"

namespace {

struct Candidate {
    const char* kind;
    const RecordLayout& layout;
};

constexpr Candidate kCandidates[] = {{"device version record (version.dat)", kDeviceRecord},
                                     {"package header (update.udx)", kPackageHeader}};

void PrintRecord(const Candidate& candidate, const std::uint8_t* bytes) {
    FirmwareIdentity identity = DecodeIdentity(bytes, candidate.layout);
    bool everyRegion = &candidate.layout == &kPackageHeader && identity.region == 0;
    std::printf("  %s\n", candidate.kind);
    std::printf("    region   0x%08X%s\n", static_cast<unsigned>(identity.region),
                everyRegion ? " (every region)" : "");
    std::printf("    model    0x%08X\n", static_cast<unsigned>(identity.model));
    std::printf("    version  \"%s\"\n", Escape(identity.version).c_str());
}

int InspectFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "dravon-pack: cannot read %s\n", path.c_str());
        return 1;
    }
    std::string content(std::istreambuf_iterator<char>(in), {});
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    std::printf("%s: %zu bytes\n", path.c_str(), content.size());
    bool recognised = false;
    for (const Candidate& candidate : kCandidates) {
        if (content.size() < candidate.layout.size) {
            std::printf("  not a %s: shorter than %zu bytes\n", candidate.kind,
                        candidate.layout.size);
            continue;
        }
        std::uint32_t stored = StoredCrc(bytes);
        std::uint32_t computed = ComputedCrc(bytes, candidate.layout);
        if (stored == computed) {
            recognised = true;
            PrintRecord(candidate, bytes);
            std::printf("    crc      0x%08X stored and computed over bytes 8 to %zu\n",
                        static_cast<unsigned>(stored), candidate.layout.size - 1);
        } else {
            std::printf("  not a %s: CRC over bytes 8 to %zu is 0x%08X, 0x%08X is stored\n",
                        candidate.kind, candidate.layout.size - 1, static_cast<unsigned>(computed),
                        static_cast<unsigned>(stored));
        }
    }
    if (!recognised) {
        std::printf("  neither record: no CRC holds\n");
    }
    return recognised ? 0 : 1;
}

}  // namespace

int InspectFiles(const std::vector<std::string>& paths) {
    int result = 0;
    for (const std::string& path : paths) {
        result |= InspectFile(path);
    }
    return result;
}
