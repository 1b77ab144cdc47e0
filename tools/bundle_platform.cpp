/* tools/bundle_platform.cpp: the platform operations over a release folder and a device. */
#include "tools/bundle_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/common/profile_file.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

struct Bundle {
    std::string release;
    std::string device;
    std::vector<ShownDialog> dialogs;
};

Bundle& Current() {
    static Bundle bundle;
    return bundle;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// "P:\name" or "E:\name" to the file on this machine; "" when there is none.
std::string HostPath(const char* path) {
    std::string text = path;
    if (text.size() < 4 || text[1] != ':' || text[2] != '\\' ||
        text.find('\\', 3) != std::string::npos) {
        return "";
    }
    const std::string& folder = Lower(text[0]) == 'p'   ? Current().release
                                : Lower(text[0]) == 'e' ? Current().device
                                                        : std::string();
    return folder.empty() ? "" : FindFileNoCase(folder, text.substr(3));
}

}  // namespace

void BundlePlatform_Set(const std::string& release, const std::string& device) {
    Current() = Bundle{release, device, {}};
}

const std::vector<ShownDialog>& BundlePlatform_Dialogs() {
    return Current().dialogs;
}

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (EqualNoCase(entry.path().filename().string(), name) && entry.is_regular_file()) {
            return entry.path().string();
        }
    }
    return "";
}

// ---- The platform operations ----

OsHandle OpenFileForReading(const char* path) {
    std::string hostPath = HostPath(path);
    return hostPath.empty() ? nullptr : std::fopen(hostPath.c_str(), "rb");
}

std::uint32_t ReadFileOnce(OsHandle file, void* buffer, std::uint32_t size) {
    return static_cast<std::uint32_t>(std::fread(buffer, 1, size, static_cast<std::FILE*>(file)));
}

bool ReadChunk(OsHandle file, void* buffer, std::uint32_t size, std::uint32_t* delivered) {
    *delivered = ReadFileOnce(file, buffer, size);
    return std::ferror(static_cast<std::FILE*>(file)) == 0;
}

std::uint64_t SizeOfFile(const char* path) {
    std::error_code error;
    std::uintmax_t size = fs::file_size(HostPath(path), error);
    return error ? 0 : size;
}

// The check never writes: every step of a copy onto the device fails, and shows nothing.
bool CopyShowingProgress(const char*, bool (*copy)()) {
    return copy();
}
void AdvanceProgress(std::uint64_t, std::uint64_t, const char*) {}

OsHandle CreateNewFile(const char*) {
    return nullptr;
}
bool WriteWholly(OsHandle, const void*, std::uint32_t) {
    return false;
}
bool FlushAndClose(OsHandle) {
    return false;
}
OsHandle OpenFileOnMedium(const char*) {
    return nullptr;
}
bool PutFileInPlace(const char*, const char*) {
    return false;
}
bool RemoveFile(const char*) {
    return false;
}
bool RemoveFileFromMedium(const char*) {
    return false;
}
bool LastFailureWasFull() {
    return false;
}
bool ReadFreeSpace(const char*, std::uint64_t*, std::uint32_t*) {
    return false;
}

void CloseOsHandle(OsHandle handle) {
    if (handle != nullptr) {
        std::fclose(static_cast<std::FILE*>(handle));
    }
}

OsHandle CreateNamedMutex(const char*, bool* alreadyExisted) {
    static int mutex;
    *alreadyExisted = false;
    return &mutex;
}

std::uint32_t GetModulePath(char* buffer, std::uint32_t size) {
    int length = std::snprintf(buffer, size, "P:\\DravonUpdater.exe");
    return static_cast<std::uint32_t>(length);
}

// Text is taken as single-byte, as in the Western code pages.
bool IsLeadByte(unsigned char) {
    return false;
}

char PathSeparator() {
    return '\\';
}

bool IsVolumeRoot(const char* entry) {
    return std::strlen(entry) == 3;
}

std::uint32_t ReadProfileString(const char* section, const char* key, char* destination,
                                std::uint32_t size, const char* path) {
    std::string hostPath = HostPath(path);
    std::ifstream in(hostPath, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    std::string value =
        hostPath.empty() ? ""
                         : ParseIni(DecodeProfileFile(text).text).Find(section, key).value_or("");
    std::size_t copied = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(destination, value.data(), copied);
    destination[copied] = '\0';
    return static_cast<std::uint32_t>(copied);
}

std::uint32_t ListLogicalDrives(char* buffer, std::uint32_t size) {
    // P:\ holds the release; E:\ is the device when there is one.
    const char list[] = "P:\\\0E:\\\0";
    std::size_t length = Current().device.empty() ? 4 : 8;
    if (length + 1 > size) {
        return static_cast<std::uint32_t>(length + 1);
    }
    std::memcpy(buffer, list, length + 1);
    return static_cast<std::uint32_t>(length);
}

bool ReadVolumeLabel(const char* root, char* label, std::uint32_t size) {
    std::snprintf(label, size, "%s", Lower(root[0]) == 'e' ? "DRAVONUD" : "RELEASE");
    return true;
}

bool ReadVolumeSerial(const char*, char*, std::uint32_t) {
    return false;  // the check asks no questions and copies nothing
}

int ShowMessageBox(const char* text, const char* caption, unsigned style) {
    Current().dialogs.push_back({caption, text, style});
    return (style & kBoxYesNo) == kBoxYesNo ? kAnswerNo : kAnswerOk;
}
