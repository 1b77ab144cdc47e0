/* tools/pe_file.cpp: the PE headers, and the version record among the resources. */
#include "tools/pe_file.h"

namespace {

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint16_t kSubsystemGui = 2;
constexpr std::uint32_t kResourceVersion = 16;  // RT_VERSION
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

// Reads of little-endian values that fail instead of running past the image.
class Reader {
  public:
    explicit Reader(const std::string& image) : image_(image) {}
    bool Fits(std::size_t offset, std::size_t size) const {
        return offset <= image_.size() && size <= image_.size() - offset;
    }
    std::uint32_t At(std::size_t offset, int bytes) const {
        std::uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            value = value << 8 | static_cast<unsigned char>(image_[offset + i]);
        }
        return value;
    }
    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(At(offset, 2));
    }
    std::uint32_t U32(std::size_t offset) const { return At(offset, 4); }

  private:
    const std::string& image_;
};

struct Sections {
    std::size_t table;
    unsigned count;
};

// The file offset of a relative virtual address; nothing outside every section.
std::optional<std::size_t> OffsetOf(const Reader& pe, const Sections& sections, std::uint32_t rva) {
    for (unsigned i = 0; i < sections.count; ++i) {
        std::size_t entry = sections.table + 40 * i;
        if (!pe.Fits(entry, 40)) {
            return std::nullopt;
        }
        std::uint32_t size = pe.U32(entry + 8), address = pe.U32(entry + 12),
                      raw = pe.U32(entry + 20);
        if (rva >= address && rva - address < size) {
            return raw + (rva - address);
        }
    }
    return std::nullopt;
}

// The first entry of a resource directory that has `id` (or any, when `id` is 0).
std::optional<std::uint32_t> Entry(const Reader& pe, std::size_t root, std::uint32_t directory,
                                   std::uint32_t id) {
    std::size_t at = root + directory;
    if (!pe.Fits(at, 16)) {
        return std::nullopt;
    }
    unsigned entries = pe.U16(at + 12) + pe.U16(at + 14);
    for (unsigned i = 0; i < entries && pe.Fits(at + 16 + 8 * i, 8); ++i) {
        if (id == 0 || pe.U32(at + 16 + 8 * i) == id) {
            return pe.U32(at + 20 + 8 * i) & 0x7FFFFFFF;
        }
    }
    return std::nullopt;
}

std::optional<std::array<std::uint16_t, 4>> FileVersion(const Reader& pe, const Sections& sections,
                                                        std::uint32_t resourceRva) {
    std::optional<std::size_t> root = OffsetOf(pe, sections, resourceRva);
    std::optional<std::uint32_t> names, languages, leaf;
    if (!root || !(names = Entry(pe, *root, 0, kResourceVersion)) ||
        !(languages = Entry(pe, *root, *names, 0)) || !(leaf = Entry(pe, *root, *languages, 0)) ||
        !pe.Fits(*root + *leaf, 8)) {
        return std::nullopt;
    }
    std::optional<std::size_t> data = OffsetOf(pe, sections, pe.U32(*root + *leaf));
    std::uint32_t size = pe.U32(*root + *leaf + 4);
    if (!data || !pe.Fits(*data, size)) {
        return std::nullopt;
    }
    // VS_VERSIONINFO: a header, the key "VS_VERSION_INFO" in UTF-16, then VS_FIXEDFILEINFO.
    for (std::size_t at = *data; at + 16 <= *data + size; at += 4) {
        if (pe.U32(at) == kFixedInfoSignature) {
            std::uint32_t most = pe.U32(at + 8), least = pe.U32(at + 12);
            return std::array<std::uint16_t, 4>{
                static_cast<std::uint16_t>(most >> 16), static_cast<std::uint16_t>(most),
                static_cast<std::uint16_t>(least >> 16), static_cast<std::uint16_t>(least)};
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<ExecutableFacts> ReadExecutable(const std::string& image) {
    Reader pe(image);
    if (!pe.Fits(0, 64) || image.compare(0, 2, "MZ") != 0) {
        return std::nullopt;
    }
    std::size_t header = pe.U32(0x3C);
    if (!pe.Fits(header, 24) || image.compare(header, 4, std::string("PE\0\0", 4)) != 0) {
        return std::nullopt;
    }
    std::size_t optional = header + 24;
    std::uint16_t optionalSize = pe.U16(header + 20);
    if (!pe.Fits(optional, optionalSize) || optionalSize < 2) {
        return std::nullopt;
    }
    ExecutableFacts facts = {};
    const bool plus = pe.U16(optional) == kPe32Plus;
    facts.x64 = pe.U16(header + 4) == kMachineAmd64 && plus;
    facts.gui = optionalSize >= 70 && pe.U16(optional + 68) == kSubsystemGui;
    // The data directories follow the fixed fields, which PE32+ makes 16 bytes longer.
    std::size_t directories = optional + (plus ? 112 : 96);
    auto directory = [&](unsigned index) -> std::pair<std::uint32_t, std::uint32_t> {
        std::size_t at = directories + 8 * index;
        if (at + 8 > optional + optionalSize) {
            return {0, 0};
        }
        return {pe.U32(at), pe.U32(at + 4)};
    };
    facts.signature = directory(4).second != 0;  // the security directory: a file offset
    Sections sections = {optional + optionalSize, pe.U16(header + 6)};
    if (std::uint32_t resources = directory(2).first; resources != 0) {
        facts.fileVersion = FileVersion(pe, sections, resources);
    }
    return facts;
}
