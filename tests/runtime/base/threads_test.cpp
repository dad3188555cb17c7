#include "runtime/base/string_scratch.h"
#include "runtime/base/thread_storage.h"
#include "runtime/base/threads.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

std::atomic<int> Gate{0};

void WaitForGate(int64_t) {
    while (Gate.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void ReturnAtOnce(int64_t) {}

std::atomic<int> SliceInitialised{0}, SliceReleased{0};
size_t TestSlice = RegisterThreadSlice(
    12, [](void *slice) { *static_cast<int *>(slice) = 77, ++SliceInitialised; },
    [](void *) { ++SliceReleased; });

// Each thread checks that its slice and its string buffer are its own.
std::atomic<int> SlicesSeen{0}, ScratchDistinct{0};
std::atomic<const void *> FirstScratch{nullptr};
void UseStorage(int64_t argument) {
    int *slice = static_cast<int *>(ThreadSlice(TestSlice));
    if (*slice == 77) ++SlicesSeen;
    *slice = int(argument);
    StringScratch &scratch = ThreadStringScratch();
    const void *expected = nullptr;
    if (!FirstScratch.compare_exchange_strong(expected, &scratch) && expected != &scratch)
        ++ScratchDistinct;
    WaitForGate(0);
}

} // namespace

TEST(Threads, AliveWhileRunningAndJoinAnswersFromTheThreadList) {
    Gate = 0;
    int64_t t = SpawnThread(WaitForGate, 0);
    ASSERT_NE(t, 0);
    EXPECT_EQ(ThreadAlive(t), 1);
    EXPECT_NE(ThreadHandleOf(t), 0);
    EXPECT_EQ(JoinThreadFor(t, 0), 0);  // one check, still running
    EXPECT_EQ(JoinThreadFor(t, 20), 0); // times out
    Gate = 1;
    EXPECT_EQ(JoinThreadFor(t, 5000), 1);
    EXPECT_EQ(ThreadAlive(t), 0);
    EXPECT_EQ(ThreadHandleOf(t), 0);
    EXPECT_EQ(JoinThreadFor(t, 0), 1); // ended threads join at once
}

TEST(Threads, UnknownNumbersAreNeitherAliveNorWaitedFor) {
    EXPECT_EQ(ThreadAlive(0), 0);
    EXPECT_EQ(ThreadAlive(987654321), 0);
    EXPECT_EQ(JoinThreadFor(987654321, 1000), 1);
    int64_t t = SpawnThread(ReturnAtOnce, 0);
    ASSERT_NE(t, 0);
    EXPECT_EQ(JoinThreadFor(t, 5000), 1);
    // A finished thread's number is never handed out again.
    int64_t u = SpawnThread(ReturnAtOnce, 0);
    EXPECT_NE(u, t);
    EXPECT_EQ(JoinThreadFor(u, 5000), 1);
}

TEST(Threads, EachThreadHasItsOwnStorageAndExitWorkRunsBeforeItEnds) {
    Gate = 0;
    SlicesSeen = 0;
    ScratchDistinct = 0;
    FirstScratch = nullptr;
    int released = SliceReleased.load();
    int64_t a = SpawnThread(UseStorage, 1);
    int64_t b = SpawnThread(UseStorage, 2);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    while (SlicesSeen.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Gate = 1;
    EXPECT_EQ(JoinThreadFor(a, 5000), 1);
    EXPECT_EQ(JoinThreadFor(b, 5000), 1);
    EXPECT_EQ(SlicesSeen.load(), 2); // fresh, initialised slice per thread
    EXPECT_EQ(ScratchDistinct.load(), 1);
    // Both threads' slices were released before they were reported ended.
    EXPECT_EQ(SliceReleased.load(), released + 2);
}

TEST(ThreadStorage, SliceRegisteredAfterTheBlockExistsStillGetsItsOwnZeroedSpace) {
    int *early = static_cast<int *>(ThreadSlice(TestSlice));
    *early = 5;
    size_t late = RegisterThreadSlice(64, nullptr, nullptr);
    auto *bytes = static_cast<unsigned char *>(ThreadSlice(late));
    for (int i = 0; i < 64; i++) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(*static_cast<int *>(ThreadSlice(TestSlice)), 5); // earlier slice kept
}
