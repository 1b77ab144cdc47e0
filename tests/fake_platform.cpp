/* tests/fake_platform.cpp: the platform operations over in-memory state. */
#include "fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/platform.h"

namespace {

struct FakeFile {
    Bytes content;
    bool refuseOpen = false;
    std::uint32_t readLimit = UINT32_MAX;
};

struct OpenFile {
    std::string path;
    std::size_t position = 0;
};

struct FakeState {
    std::map<std::string, FakeFile, std::less<>> files;
    std::map<int, OpenFile> openFiles;  // keyed by handle number
    int nextHandle = 1;
    std::vector<std::string> openedPaths;
    bool hasModulePath = false;
    std::string modulePath;
    bool codePage932 = false;
    std::map<std::string, std::string, std::less<>> profile;  // "file|section|key"
    std::vector<std::string> profileReads;
};

FakeState& Fake() {
    static FakeState state;
    return state;
}

OsHandle HandleFromNumber(int number) {
    return reinterpret_cast<OsHandle>(std::intptr_t{number});
}
int NumberFromHandle(OsHandle handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

std::string ProfileKey(std::string_view file, std::string_view section, std::string_view key) {
    std::string joined;
    joined.append(file).append("|").append(section).append("|").append(key);
    return joined;
}

// Copies `text` into `out`, cut to size - 1 characters and NUL-terminated; returns the count.
std::size_t CopyCut(char* out, std::uint32_t size, std::string_view text) {
    std::size_t copied = std::min<std::size_t>(text.size(), size - 1);
    if (copied > 0) {
        std::memcpy(out, text.data(), copied);
    }
    out[copied] = '\0';
    return copied;
}

}  // namespace

// ---- Control --------------------------------------------------------------

void FakePlatform_Reset() {
    Fake() = FakeState{};
}

void FakeFiles_Put(const std::string& path, const Bytes& content) {
    Fake().files[path] = FakeFile{content};
}

void FakeFiles_Remove(const std::string& path) {
    Fake().files.erase(path);
}

bool FakeFiles_Exists(const std::string& path) {
    return Fake().files.count(path) != 0;
}

Bytes FakeFiles_Get(const std::string& path) {
    auto found = Fake().files.find(path);
    EXPECT_NE(found, Fake().files.end()) << "no fake file " << path;
    return found == Fake().files.end() ? Bytes{} : found->second.content;
}

void FakeFiles_RefuseOpen(const std::string& path) {
    Fake().files[path].refuseOpen = true;
}

void FakeFiles_LimitRead(const std::string& path, std::uint32_t count) {
    Fake().files[path].readLimit = count;
}

int FakeFiles_OpenHandles() {
    return static_cast<int>(Fake().openFiles.size());
}

const std::vector<std::string>& FakeFiles_OpenedPaths() {
    return Fake().openedPaths;
}

void FakeModule_SetPath(const std::string& path) {
    Fake().hasModulePath = true;
    Fake().modulePath = path;
}

void FakeText_UseCodePage932(bool on) {
    Fake().codePage932 = on;
}

void FakeProfile_Set(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) {
    Fake().profile[ProfileKey(file, section, key)] = value;
}

const std::vector<std::string>& FakeProfile_Reads() {
    return Fake().profileReads;
}

// ---- Platform operations --------------------------------------------------

OsHandle OpenFileForReading(const char* path) {
    FakeState& state = Fake();
    state.openedPaths.emplace_back(path);
    auto found = state.files.find(std::string_view(path));
    if (found == state.files.end() || found->second.refuseOpen) {
        return nullptr;
    }
    int number = state.nextHandle++;
    state.openFiles[number] = OpenFile{path};
    return HandleFromNumber(number);
}

std::uint32_t ReadFileOnce(OsHandle handle, void* buffer, std::uint32_t size) {
    FakeState& state = Fake();
    auto open = state.openFiles.find(NumberFromHandle(handle));
    EXPECT_NE(open, state.openFiles.end()) << "read from a handle that is not open";
    if (open == state.openFiles.end()) {
        return 0;
    }
    const FakeFile& file = state.files.at(open->second.path);
    std::size_t available =
        file.content.size() - std::min(open->second.position, file.content.size());
    std::size_t count = std::min<std::size_t>({available, size, file.readLimit});
    if (count > 0) {
        std::memcpy(buffer, file.content.data() + open->second.position, count);
    }
    open->second.position += count;
    return static_cast<std::uint32_t>(count);
}

void CloseOsHandle(OsHandle handle) {
    EXPECT_EQ(Fake().openFiles.erase(NumberFromHandle(handle)), 1u) << "closed a handle twice";
}

std::uint32_t GetModulePath(char* buffer, std::uint32_t size) {
    const FakeState& state = Fake();
    if (!state.hasModulePath) {
        return 0;
    }
    // Like the real call: a path that doesn't fit is cut, terminated, and reported as `size`.
    std::size_t length = CopyCut(buffer, size, state.modulePath);
    return length < state.modulePath.size() ? size : static_cast<std::uint32_t>(length);
}

bool IsLeadByte(unsigned char byte) {
    return Fake().codePage932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

std::uint32_t ReadProfileString(const char* section, const char* key, char* destination,
                                std::uint32_t size, const char* path) {
    FakeState& state = Fake();
    std::string lookup = ProfileKey(path, section, key);
    state.profileReads.push_back(lookup);
    auto found = state.profile.find(lookup);
    std::string_view value;
    if (found != state.profile.end()) {
        value = found->second;
    }
    return static_cast<std::uint32_t>(CopyCut(destination, size, value));
}
