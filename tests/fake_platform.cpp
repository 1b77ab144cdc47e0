/* tests/fake_platform.cpp: the platform operations over in-memory state. */
#include "fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/platform.h"

// A misuse of the platform by the code under test (a read from a closed handle, a handle
// closed twice) fails the test, or stops a fuzzer at once.
#ifdef FAKE_PLATFORM_STANDALONE
#define FAKE_CHECK(condition, message)                              \
    do {                                                            \
        if (!(condition)) {                                         \
            std::fprintf(stderr, "fake platform: %s\n", (message)); \
            std::abort();                                           \
        }                                                           \
    } while (0)
#else
#include <gtest/gtest.h>
#define FAKE_CHECK(condition, message) EXPECT_TRUE(condition) << (message)
#endif

int fakePlatformDepth = 0;

namespace {

// Marks the fake's own work, so that a count of the code under test's allocations leaves
// out the fake's bookkeeping.
struct InFake {
    InFake() { ++fakePlatformDepth; }
    ~InFake() { --fakePlatformDepth; }
};

struct FakeFile {
    Bytes content;  // as the system shows it, its cache included
    bool refuseOpen = false;
    std::uint32_t readLimit = UINT32_MAX;
    bool mediumDiffers = false;  // the medium holds `medium`, not `content`
    Bytes medium;
};

struct OpenFile {
    std::string path;
    std::size_t position = 0;
    bool writing = false;
    bool fromMedium = false;
};

struct FakeState {
    std::map<std::string, FakeFile, std::less<>> files;
    std::map<int, OpenFile> openFiles;  // keyed by handle number
    int nextHandle = 1;
    std::vector<std::string> openedPaths;
    bool hasModulePath = false;
    std::string modulePath;
    bool codePage932 = false;
    bool slashes = false;
    std::map<std::string, std::string, std::less<>> profile;  // "file|section|key"
    std::vector<std::string> profileReads;
    struct Drive {
        std::string root;
        std::string label;
        bool readable;
        std::string serial;
    };
    std::vector<Drive> drives;
    bool swapAtAnswer = false;
    Drive swapped;
    std::string roomRoot;
    std::uint64_t capacity = 0;  // 0: room for anything
    std::uint32_t cluster = 4096;
    bool lastFailureFull = false;
    bool hasRawDriveList = false;
    std::string rawDriveList;
    std::uint32_t rawDriveCount = 0;
    std::vector<std::string> labelReads;
    std::vector<std::string> putInPlace;
    int wrongWrite = 0;
    FakeMutexState mutexState = FakeMutexState::Absent;
    std::string mutexName;
    std::vector<int> heldMutexHandles;
    std::vector<int> answers;
    std::size_t answersUsed = 0;
    std::vector<FakeBox> boxes;
    bool progressShown = false;
    std::vector<std::string> progressSteps;
    std::map<FakeOp, int> calls;
    std::map<FakeOp, int> failingCall;
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
    FakeFile file;
    file.content = content;
    Fake().files[path] = file;
}

void FakeFiles_Remove(const std::string& path) {
    Fake().files.erase(path);
}

bool FakeFiles_Exists(const std::string& path) {
    return Fake().files.count(path) != 0;
}

Bytes FakeFiles_Get(const std::string& path) {
    auto found = Fake().files.find(path);
    FAKE_CHECK(found != Fake().files.end(), ("no fake file " + path).c_str());
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

void FakePaths_UseSlashes(bool on) {
    Fake().slashes = on;
}

void FakeProfile_Set(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) {
    Fake().profile[ProfileKey(file, section, key)] = value;
}

const std::vector<std::string>& FakeProfile_Reads() {
    return Fake().profileReads;
}

void FakeDrives_Add(const std::string& root, const std::string& label, const std::string& serial) {
    Fake().drives.push_back({root, label, true, serial});
}

void FakeDrives_AddUnreadable(const std::string& root) {
    Fake().drives.push_back({root, "", false, ""});
}

void FakeDrives_SwapAtAnswer(const std::string& root, const std::string& label,
                             const std::string& serial) {
    Fake().swapAtAnswer = true;
    Fake().swapped = {root, label, true, serial};
}

void FakeDrives_SetRoom(const std::string& root, std::uint64_t capacity, std::uint32_t cluster) {
    Fake().roomRoot = root;
    Fake().capacity = capacity;
    Fake().cluster = cluster;
}

void FakeDrives_SetRawList(const std::string& bytes, std::uint32_t count) {
    Fake().hasRawDriveList = true;
    Fake().rawDriveList = bytes;
    Fake().rawDriveCount = count;
}

const std::vector<std::string>& FakeDrives_LabelReads() {
    return Fake().labelReads;
}

const std::vector<std::string>& FakeFiles_PutInPlace() {
    return Fake().putInPlace;
}

void FakeFaults_StoreWrong(int nthWrite) {
    Fake().wrongWrite = nthWrite;
}

void FakeMutex_Set(FakeMutexState state) {
    Fake().mutexState = state;
}

int FakeMutex_HeldHandles() {
    return static_cast<int>(Fake().heldMutexHandles.size());
}

const std::string& FakeMutex_LastName() {
    return Fake().mutexName;
}

void FakeBoxes_Answer(const std::vector<int>& answers) {
    Fake().answers = answers;
    Fake().answersUsed = 0;
}

const std::vector<std::string>& FakeProgress_Steps() {
    return Fake().progressSteps;
}

const std::vector<FakeBox>& FakeBoxes_Shown() {
    return Fake().boxes;
}

void PrintTo(const FakeBox& box, std::ostream* os) {
    *os << "{\"" << box.text << "\", caption \"" << box.caption << "\", style 0x" << std::hex
        << box.style << std::dec << "}";
}

void FakeFaults_Fail(FakeOp op, int nth) {
    Fake().failingCall[op] = nth;
}

int FakeFaults_Calls(FakeOp op) {
    return Fake().calls[op];
}

namespace {

// Counts a call of `op`; true when this is the call that was told to fail.
bool FailsNow(FakeOp op) {
    FakeState& state = Fake();
    int call = ++state.calls[op];
    auto failing = state.failingCall.find(op);
    return failing != state.failingCall.end() && failing->second == call;
}

}  // namespace

// ---- Platform operations --------------------------------------------------

namespace {

// The open file behind `handle`, or nullptr (and a failed test) when there is none.
OpenFile* OpenFileOf(OsHandle handle) {
    FakeState& state = Fake();
    auto open = state.openFiles.find(NumberFromHandle(handle));
    FAKE_CHECK(open != state.openFiles.end(), "a handle that is not open");
    return open == state.openFiles.end() ? nullptr : &open->second;
}

std::uint32_t ReadOpenFile(OpenFile& open, void* buffer, std::uint32_t size) {
    FAKE_CHECK(!open.writing, "read from a file opened for writing");
    const FakeFile& file = Fake().files.at(open.path);
    const Bytes& bytes = open.fromMedium && file.mediumDiffers ? file.medium : file.content;
    std::size_t available = bytes.size() - std::min(open.position, bytes.size());
    std::size_t count = std::min<std::size_t>({available, size, file.readLimit});
    if (count > 0) {
        std::memcpy(buffer, bytes.data() + open.position, count);
    }
    open.position += count;
    return static_cast<std::uint32_t>(count);
}

OsHandle OpenHandle(OpenFile open) {
    int number = Fake().nextHandle++;
    Fake().openFiles[number] = std::move(open);
    return HandleFromNumber(number);
}

}  // namespace

OsHandle OpenFileForReading(const char* path) {
    InFake inFake;
    if (FailsNow(FakeOp::Open)) {
        return nullptr;
    }
    FakeState& state = Fake();
    state.openedPaths.emplace_back(path);
    auto found = state.files.find(std::string_view(path));
    if (found == state.files.end() || found->second.refuseOpen) {
        return nullptr;
    }
    return OpenHandle(OpenFile{path});
}

std::uint32_t ReadFileOnce(OsHandle handle, void* buffer, std::uint32_t size) {
    InFake inFake;
    if (FailsNow(FakeOp::Read)) {
        return 0;  // a failed read delivers nothing
    }
    OpenFile* open = OpenFileOf(handle);
    return open == nullptr ? 0 : ReadOpenFile(*open, buffer, size);
}

bool ReadChunk(OsHandle handle, void* buffer, std::uint32_t size, std::uint32_t* delivered) {
    InFake inFake;
    *delivered = 0;
    OpenFile* open = OpenFileOf(handle);
    if (FailsNow(FakeOp::ReadChunk) || open == nullptr) {
        return false;
    }
    *delivered = ReadOpenFile(*open, buffer, size);
    return true;
}

void CloseOsHandle(OsHandle handle) {
    InFake inFake;
    FakeState& state = Fake();
    int number = NumberFromHandle(handle);
    auto mutex = std::find(state.heldMutexHandles.begin(), state.heldMutexHandles.end(), number);
    if (mutex != state.heldMutexHandles.end()) {
        state.heldMutexHandles.erase(mutex);
        return;
    }
    FAKE_CHECK(state.openFiles.erase(number) == 1u, "closed a handle that is not open");
}

std::uint32_t GetModulePath(char* buffer, std::uint32_t size) {
    InFake inFake;
    if (FailsNow(FakeOp::ModulePath)) {
        return 0;
    }
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

char PathSeparator() {
    return Fake().slashes ? '/' : '\\';
}

bool IsVolumeRoot(const char* entry) {
    std::string_view root = entry;
    if (Fake().slashes) {
        return root.size() >= 1 && root.front() == '/' && root.back() == '/';
    }
    return root.size() == 3;
}

std::uint32_t ReadProfileString(const char* section, const char* key, char* destination,
                                std::uint32_t size, const char* path) {
    InFake inFake;
    if (FailsNow(FakeOp::Profile)) {
        destination[0] = '\0';
        return 0;
    }
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

namespace {

// The room that the files on the volume of limited room take, in whole clusters, with `path`
// at `size` bytes.
std::uint64_t RoomTakenWith(std::string_view path, std::size_t size) {
    const FakeState& state = Fake();
    std::uint64_t taken = 0;
    for (const auto& [name, file] : state.files) {
        const std::size_t bytes = name == path ? size : file.content.size();
        const bool counted = !state.roomRoot.empty() && name.starts_with(state.roomRoot);
        taken += counted ? (bytes + state.cluster - 1) / state.cluster * state.cluster : 0;
    }
    return taken;
}

bool HasRoomWith(std::string_view path, std::size_t size) {
    return Fake().capacity == 0 || RoomTakenWith(path, size) <= Fake().capacity;
}

// A failed step of a copy, for want of room or not.
bool Failed(bool full) {
    Fake().lastFailureFull = full;
    return false;
}

}  // namespace

OsHandle CreateNewFile(const char* path) {
    InFake inFake;
    if (FailsNow(FakeOp::Create)) {
        Failed(false);
        return nullptr;
    }
    if (!HasRoomWith(path, 0)) {
        Failed(true);
        return nullptr;
    }
    Fake().files[path] = FakeFile{};
    return OpenHandle(OpenFile{path, 0, /*writing=*/true});
}

bool WriteWholly(OsHandle handle, const void* bytes, std::uint32_t size) {
    InFake inFake;
    OpenFile* open = OpenFileOf(handle);
    FakeState& state = Fake();
    const int call = state.calls[FakeOp::Write] + 1;
    if (FailsNow(FakeOp::Write) || open == nullptr) {
        return Failed(false);
    }
    FAKE_CHECK(open->writing, "write to a file opened for reading");
    FakeFile& file = state.files.at(open->path);
    if (!HasRoomWith(open->path, file.content.size() + size)) {
        return Failed(true);
    }
    const auto* data = static_cast<const std::uint8_t*>(bytes);
    if (call == state.wrongWrite && !file.mediumDiffers) {
        file.medium = file.content;
        file.mediumDiffers = true;
    }
    file.content.insert(file.content.end(), data, data + size);
    if (file.mediumDiffers) {
        file.medium.insert(file.medium.end(), data, data + size);
        if (call == state.wrongWrite && size > 0) {
            file.medium.back() ^= 0x10;  // one bit stored wrong, and the write reported done
        }
    }
    return true;
}

bool FlushAndClose(OsHandle handle) {
    InFake inFake;
    bool flushed = !FailsNow(FakeOp::Flush) || Failed(false);
    CloseOsHandle(handle);
    return flushed;
}

bool LastFailureWasFull() {
    return Fake().lastFailureFull;
}

bool ReadFreeSpace(const char*, std::uint64_t* freeBytes, std::uint32_t* clusterBytes) {
    InFake inFake;
    if (FailsNow(FakeOp::FreeSpace)) {
        return false;
    }
    const FakeState& state = Fake();
    const std::uint64_t capacity = state.capacity != 0 ? state.capacity : std::uint64_t{1} << 40;
    *freeBytes = capacity - std::min(capacity, RoomTakenWith("", 0));
    *clusterBytes = state.cluster;
    return true;
}

OsHandle OpenFileOnMedium(const char* path) {
    InFake inFake;
    if (FailsNow(FakeOp::OpenOnMedium)) {
        return nullptr;
    }
    auto found = Fake().files.find(std::string_view(path));
    if (found == Fake().files.end()) {
        return nullptr;
    }
    return OpenHandle(OpenFile{path, 0, /*writing=*/false, /*fromMedium=*/true});
}

bool PutFileInPlace(const char* temporary, const char* destination) {
    InFake inFake;
    if (FailsNow(FakeOp::PutInPlace)) {
        return false;
    }
    FakeState& state = Fake();
    auto found = state.files.find(std::string_view(temporary));
    if (found == state.files.end()) {
        return false;
    }
    state.putInPlace.push_back(std::string(temporary) + ">" + destination);
    FakeFile moved = found->second;
    state.files.erase(found);
    state.files[destination] = moved;
    return true;
}

bool RemoveFile(const char* path) {
    InFake inFake;
    if (FailsNow(FakeOp::Remove)) {
        return false;
    }
    return Fake().files.erase(path) == 1;
}

bool RemoveFileFromMedium(const char* path) {
    InFake inFake;
    return !FailsNow(FakeOp::RemoveFromMedium) && Fake().files.erase(path) == 1;
}

std::uint32_t ListLogicalDrives(char* buffer, std::uint32_t size) {
    InFake inFake;
    if (FailsNow(FakeOp::DriveList)) {
        return 0;
    }
    FakeState& state = Fake();
    if (state.hasRawDriveList) {
        // A platform that misbehaves: writes what fits and reports any count.
        std::memcpy(buffer, state.rawDriveList.data(),
                    std::min<std::size_t>(state.rawDriveList.size(), size));
        return state.rawDriveCount;
    }
    std::string list;
    for (const auto& drive : state.drives) {
        list += drive.root + '\0';
    }
    list += '\0';
    // Like the real call: a list that doesn't fit is not written, and its size is returned.
    if (list.size() > size) {
        return static_cast<std::uint32_t>(list.size());
    }
    std::memcpy(buffer, list.data(), list.size());
    return static_cast<std::uint32_t>(list.size() - 1);
}

bool ReadVolumeLabel(const char* root, char* label, std::uint32_t size) {
    InFake inFake;
    if (FailsNow(FakeOp::Label)) {
        return false;
    }
    FakeState& state = Fake();
    state.labelReads.emplace_back(root);
    for (const auto& drive : state.drives) {
        if (drive.root == root) {
            if (drive.readable) {
                CopyCut(label, size, drive.label);
            }
            return drive.readable;
        }
    }
    return false;
}

bool ReadVolumeSerial(const char* root, char* serial, std::uint32_t size) {
    InFake inFake;
    if (FailsNow(FakeOp::Serial)) {
        return false;
    }
    for (const auto& drive : Fake().drives) {
        if (drive.root == root && drive.readable && !drive.serial.empty()) {
            CopyCut(serial, size, drive.serial);
            return true;
        }
    }
    return false;
}

OsHandle CreateNamedMutex(const char* name, bool* alreadyExisted) {
    InFake inFake;
    if (FailsNow(FakeOp::Mutex)) {
        *alreadyExisted = false;
        return nullptr;
    }
    FakeState& state = Fake();
    state.mutexName = name;
    *alreadyExisted = state.mutexState == FakeMutexState::HeldByAnother;
    if (state.mutexState == FakeMutexState::NoAccess) {
        return nullptr;
    }
    int number = state.nextHandle++;
    state.heldMutexHandles.push_back(number);
    return HandleFromNumber(number);
}

std::uint64_t SizeOfFile(const char* path) {
    InFake inFake;
    auto found = Fake().files.find(std::string_view(path));
    return found == Fake().files.end() ? 0 : found->second.content.size();
}

bool CopyShowingProgress(const char* caption, bool (*copy)()) {
    {
        InFake inFake;
        FAKE_CHECK(!Fake().progressShown, "progress begun twice");
        Fake().progressShown = true;
        Fake().progressSteps.emplace_back(caption);
    }
    const bool copied = copy();  // the code under test, outside the fake's own count
    Fake().progressShown = false;
    return copied;
}

void AdvanceProgress(std::uint64_t done, std::uint64_t total, const char* fileName) {
    InFake inFake;
    FAKE_CHECK(Fake().progressShown, "progress advanced while none is shown");
    Fake().progressSteps.push_back(std::to_string(done) + "/" + std::to_string(total) + " " +
                                   fileName);
}

int ShowMessageBox(const char* text, const char* caption, unsigned style) {
    InFake inFake;
    FAKE_CHECK(!Fake().progressShown, "a message box while the progress is up");
    if (FailsNow(FakeOp::MessageBox)) {
        Fake().boxes.push_back({text, caption, style});
        return 0;  // the box could not be shown
    }
    FakeState& state = Fake();
    state.boxes.push_back({text, caption, style});
    if (state.swapAtAnswer && (style & 0xF) == kBoxYesNo) {
        for (auto& drive : state.drives) {
            drive = drive.root == state.swapped.root ? state.swapped : drive;
        }
    }
    if (state.answersUsed < state.answers.size()) {
        return state.answers[state.answersUsed++];
    }
    FAKE_CHECK((style & 0xF) == kBoxOk, "no answer scripted for a question");
    return kAnswerOk;
}
