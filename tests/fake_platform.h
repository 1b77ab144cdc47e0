/* tests/fake_platform.h: control functions of the fake platform that the host tests link
 * in place of the Windows one. It keeps an in-memory set of files keyed by path. */
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Forgets every file and setting; counts of open handles go back to 0.
void FakePlatform_Reset();

void FakeFiles_Put(const std::string& path, const Bytes& content);
void FakeFiles_Remove(const std::string& path);
bool FakeFiles_Exists(const std::string& path);
Bytes FakeFiles_Get(const std::string& path);  // fails the test if the file is absent
// The file exists but can't be opened (locked, no access).
void FakeFiles_RefuseOpen(const std::string& path);
// Reads of this file deliver at most `count` bytes.
void FakeFiles_LimitRead(const std::string& path, std::uint32_t count);
// Handles opened and not yet closed.
int FakeFiles_OpenHandles();
// Paths opened so far, in order.
const std::vector<std::string>& FakeFiles_OpenedPaths();

// The executable's path; unset, the module path operation fails (writes nothing).
void FakeModule_SetPath(const std::string& path);

// Emulates code page 932: lead bytes 0x81 to 0x9F and 0xE0 to 0xFC. Off after a reset.
void FakeText_UseCodePage932(bool on);

// Paths as on Linux: "/" separates folders, and a volume's root is an absolute folder
// ending in "/". Off after a reset (backslash, and three-character drive roots).
void FakePaths_UseSlashes(bool on);

// A value in a profile file. Absent files, sections and keys read as "" with count 0.
void FakeProfile_Set(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value);
// Every profile read so far, as "file|section|key".
const std::vector<std::string>& FakeProfile_Reads();

// A drive with a readable volume label, appended to the drive list in order; its serial
// is `serial`, or when that is empty none that can be read.
void FakeDrives_Add(const std::string& root, const std::string& label,
                    const std::string& serial = "1234-ABCD");
// The stick at `root` is swapped for one of `label` and `serial` when the user answers a
// question, as while the question waits.
void FakeDrives_SwapAtAnswer(const std::string& root, const std::string& label,
                             const std::string& serial);
// The volume at `root` has room for `capacity` bytes of files, in clusters of `cluster`
// bytes: a create or a write beyond fails for want of room. Unset, volumes have room for
// anything.
void FakeDrives_SetRoom(const std::string& root, std::uint64_t capacity, std::uint32_t cluster);
// A drive whose volume information can't be read (no media, unreachable).
void FakeDrives_AddUnreadable(const std::string& root);
// Replaces the list that the platform hands out, and the count that it returns.
void FakeDrives_SetRawList(const std::string& bytes, std::uint32_t count);
// Roots whose labels were asked for, in order.
const std::vector<std::string>& FakeDrives_LabelReads();

// Every file put in place of another, as "temporary>destination".
const std::vector<std::string>& FakeFiles_PutInPlace();

// The named mutex as other processes left it.
enum class FakeMutexState {
    Absent,         // created by this process
    HeldByAnother,  // exists and can be opened: another instance runs
    NoAccess,       // exists, but this process may not open it
};
void FakeMutex_Set(FakeMutexState state);
// Handles to the mutex that this process holds (created or opened, and not closed).
int FakeMutex_HeldHandles();
const std::string& FakeMutex_LastName();

// The progress as the copy reported it: "caption" at its start, then "done/total fileName"
// at each step. A message box shown while the progress is up fails the test.
const std::vector<std::string>& FakeProgress_Steps();

struct FakeBox {
    std::string text;
    std::string caption;
    unsigned style;
    bool operator==(const FakeBox&) const = default;
};
void PrintTo(const FakeBox& box, std::ostream* os);
// Answers for the coming message boxes, in order. A box with no answer left returns
// IDOK for an OK box and fails the test for any other.
void FakeBoxes_Answer(const std::vector<int>& answers);
const std::vector<FakeBox>& FakeBoxes_Shown();

// ---- Faults ----

enum class FakeOp {
    Mutex,
    ModulePath,
    Profile,
    DriveList,
    Label,
    Open,
    Read,
    MessageBox,
    // the steps of a copy onto the device
    ReadChunk,
    Create,
    Write,
    Flush,
    OpenOnMedium,
    PutInPlace,
    Remove,
    RemoveFromMedium,
    FreeSpace,
    Serial,
};
// The nth call (from 1) of `op` fails as the real operation fails: no handle, a count of 0,
// false, or a message box that could not be shown (0).
void FakeFaults_Fail(FakeOp op, int nth);
// The nth write (from 1) reaches the medium with one bit wrong, and reports success; the
// system's cache keeps the right bytes, so only a read from the medium sees the fault.
void FakeFaults_StoreWrong(int nthWrite);
// Calls of `op` so far.
int FakeFaults_Calls(FakeOp op);

// Above 0 while the fake itself runs (its bookkeeping allocates; the code under test must not).
extern int fakePlatformDepth;
