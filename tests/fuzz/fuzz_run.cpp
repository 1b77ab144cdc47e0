/* Fuzz target: whole runs of the driver over arbitrary fake PCs: module paths, profile
 * values of any length, drive lists and labels, record contents, failing operations and
 * dialog answers. Every run must end with exit status 0 and exactly one final dialog, and
 * must copy nothing unless the question was answered Yes. */
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/platform.h"
#include "record_bytes.h"
#include "run/run_driver.h"
#include "run/run_state.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const char* const kKeys[] = {"TITLE",   "NODRAVON", "CONFIRM", "NOUPDATE", "NONEED",
                             "CURRENT", "UPDATE",   "FINISH",  "ERROR"};

Bytes RecordFrom(FuzzedDataProvider& input, const record_bytes::Layout& layout) {
    if (input.ConsumeBool()) {  // any bytes at all
        std::string raw = input.ConsumeRandomLengthString(600);
        return Bytes(raw.begin(), raw.end());
    }
    std::string version = input.ConsumeRandomLengthString(12);
    return record_bytes::Record(layout, input.ConsumeIntegralInRange<std::uint32_t>(0, 3),
                                input.ConsumeIntegralInRange<std::uint32_t>(0x11, 0x13),
                                version.substr(0, version.find('\0')));
}

// The failure injected into this run, if any.
struct InjectedFault {
    bool any = false;
    FakeOp op = FakeOp::Mutex;
    int call = 0;
};

InjectedFault BuildPc(FuzzedDataProvider& input) {
    FakePlatform_Reset();
    ResetRunState();
    FakeText_UseCodePage932(input.ConsumeBool());
    std::string folder =
        input.ConsumeBool() ? "C:\\Update\\" : input.ConsumeRandomLengthString(300);
    if (input.ConsumeBool()) {
        FakeModule_SetPath(folder + "DravonUpdater.exe");
    }
    std::string ini = folder + "UPDATE.INI";
    for (const char* key : kKeys) {
        FakeProfile_Set(ini, "INIT", key,
                        input.ConsumeBool() ? key : input.ConsumeRandomLengthString(400));
    }
    FakeProfile_Set(ini, "DEBUG", "DISABLE_VER", input.ConsumeBool() ? "YES" : "no");
    int drives = input.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < drives; ++i) {
        std::string root = std::string(1, static_cast<char>('C' + i)) + ":\\";
        if (input.ConsumeBool()) {
            FakeDrives_AddUnreadable(root);
        } else {
            FakeDrives_Add(root,
                           input.ConsumeBool() ? "DRAVONUD" : input.ConsumeRandomLengthString(12));
        }
        if (input.ConsumeBool()) {
            FakeFiles_Put(root + "version.dat", RecordFrom(input, record_bytes::kDevice));
        }
    }
    if (input.ConsumeBool()) {
        FakeDrives_SetRawList(input.ConsumeRandomLengthString(300),
                              input.ConsumeIntegralInRange<std::uint32_t>(0, 400));
    }
    if (input.ConsumeBool()) {
        FakeFiles_Put(folder + "update.udx", RecordFrom(input, record_bytes::kPackage));
    }
    if (input.ConsumeBool()) {
        FakeFiles_Put(folder + "update.udi", Bytes(10, 0x42));
    }
    if (input.ConsumeBool()) {
        FakeMutex_Set(
            input.PickValueInArray({FakeMutexState::HeldByAnother, FakeMutexState::NoAccess}));
    }
    InjectedFault fault;
    if (input.ConsumeBool()) {
        fault.any = true;
        fault.op = input.PickValueInArray(
            {FakeOp::Mutex, FakeOp::ModulePath, FakeOp::Profile, FakeOp::DriveList, FakeOp::Label,
             FakeOp::Open, FakeOp::Read, FakeOp::MessageBox, FakeOp::ReadChunk, FakeOp::Create,
             FakeOp::Write, FakeOp::Flush, FakeOp::OpenOnMedium, FakeOp::PutInPlace,
             FakeOp::Remove});
        fault.call = input.ConsumeIntegralInRange(1, 10);
        FakeFaults_Fail(fault.op, fault.call);
    }
    return fault;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const InjectedFault fault = BuildPc(input);
    const int answer = input.PickValueInArray({kAnswerYes, kAnswerNo, 0});
    FakeBoxes_Answer({answer, kAnswerOk});

    Require(RunUpdater() == 0);

    const std::vector<FakeBox>& boxes = FakeBoxes_Shown();
    const bool question = !boxes.empty() && (boxes[0].style & kBoxYesNo) == kBoxYesNo;
    // A question that failed to show (returned 0) was not accepted, whatever was scripted.
    const bool questionFailed = fault.any && fault.op == FakeOp::MessageBox && fault.call == 1;
    const bool acceptedQuestion = question && answer == kAnswerYes && !questionFailed;
    if (boxes.empty()) {
        Require(FakeFaults_Calls(FakeOp::Mutex) == 1);  // only another instance ends silently
    } else {
        Require(boxes.size() == (acceptedQuestion ? 2u : 1u));
    }
    if (!acceptedQuestion) {
        Require(FakeFaults_Calls(FakeOp::Create) == 0);
    }
    Require(FakeFiles_OpenHandles() == 0);
    for (const FakeBox& box : boxes) {
        Require(box.text.size() < kDialogTextSize && box.caption.size() < kTextSlotSize);
    }
    return 0;
}
