/* No heap allocation during a run: calls to malloc and operator new from the updater's
 * code are counted while the driver runs. The link routes them through the wrappers below
 * (--wrap); the fake platform's own bookkeeping is left out of the count. */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "fake_platform.h"
#include "good_world.h"
#include "run/run_driver.h"

namespace {

bool counting = false;
int allocations = 0;

void Count() {
    if (counting && fakePlatformDepth == 0) {
        ++allocations;
    }
}

}  // namespace

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* pointer, std::size_t size);
char* __real_strdup(const char* text);
void* __real__Znwm(std::size_t size);
void* __real__Znam(std::size_t size);

void* __wrap_malloc(std::size_t size) {
    Count();
    return __real_malloc(size);
}
void* __wrap_calloc(std::size_t count, std::size_t size) {
    Count();
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* pointer, std::size_t size) {
    Count();
    return __real_realloc(pointer, size);
}
char* __wrap_strdup(const char* text) {
    Count();
    return __real_strdup(text);
}
void* __wrap__Znwm(std::size_t size) {
    Count();
    return __real__Znwm(size);
}
void* __wrap__Znam(std::size_t size) {
    Count();
    return __real__Znam(size);
}
}

namespace {

using namespace good_world;

int AllocationsDuring(const std::function<void()>& work) {
    allocations = 0;
    counting = true;
    work();
    counting = false;
    return allocations;
}

TEST(HeapCounter, SeesAnAllocationOfThisCode) {
    // Through a volatile pointer, so that the compiler can't drop the pair.
    void* volatile block = nullptr;
    EXPECT_EQ(AllocationsDuring([&] { block = std::malloc(32); }), 1);
    std::free(block);
    EXPECT_EQ(AllocationsDuring([&] { block = new char[8]; }), 1);
    delete[] static_cast<char*>(block);
}

struct HeapCase {
    const char* name;
    std::function<void()> change;
    int answer;
};

void PrintTo(const HeapCase& c, std::ostream* os) {
    *os << c.name;
}

const HeapCase kRuns[] = {
    {"OfferAcceptedAndCopied", [] {}, kAnswerYes},
    {"OfferDeclined", [] {}, kAnswerNo},
    {"Refusal", [] { PutPackage(1, 0x99, "1.01"); }, kAnswerNo},
    {"NoNeed", [] { PutDevice(1, 0x12, "9.99"); }, kAnswerNo},
    {"NoDevice", [] { FakeDrives_SetRawList(std::string("C:\\\0\0", 5), 4); }, kAnswerNo},
    {"CatalogueFails", [] { FakeProfile_Set(kIni, "INIT", "FINISH", ""); }, kAnswerNo},
    {"TransferFails", [] { FakeFiles_Remove(kFolder + "update.udi"); }, kAnswerYes},
};

class NoHeap : public ::testing::TestWithParam<HeapCase> {};

TEST_P(NoHeap, DuringAWholeRun) {
    SetUpGoodWorld();
    GetParam().change();
    FakeBoxes_Answer({GetParam().answer});
    int allocationsDuringRun = AllocationsDuring([] { RunUpdater(); });
    std::printf("heap allocations during the run: %d\n", allocationsDuringRun);
    EXPECT_EQ(allocationsDuringRun, 0);
    EXPECT_FALSE(FakeBoxes_Shown().empty()) << "the run must have got as far as a dialog";
}

INSTANTIATE_TEST_SUITE_P(Runs, NoHeap, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
