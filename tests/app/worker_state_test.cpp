#include "app/worker_state.h"

#include "runtime/base/threads.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

std::atomic<int> Release{0};

void WaitForRelease(int64_t) {
    while (!Release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

TEST(WorkerState, RunningOnlyWhileTheThreadLives) {
    WorkerThread = 0;
    EXPECT_EQ(IsConversionRunning(), 0);

    Release = 0;
    int64_t thread = SpawnThread(WaitForRelease, 0);
    ASSERT_NE(thread, 0);
    WorkerThread = thread;
    EXPECT_EQ(IsConversionRunning(), 1);

    Release = 1;
    ASSERT_EQ(JoinThreadFor(thread, 5000), 1);
    // The handle is still stored, but a thread that has ended runs nothing.
    EXPECT_EQ(WorkerThread.load(), thread);
    EXPECT_EQ(IsConversionRunning(), 0);
    WorkerThread = 0;
}
