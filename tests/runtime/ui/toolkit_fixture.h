// Shared by the toolkit tests: starts the toolkit once per test program (Qt's
// offscreen platform, set by the test registration) and empties the queue.
#pragma once

#include "runtime/ui/toolkit.h"

#include <gtest/gtest.h>

inline void StartTestToolkit() {
    static int started = StartToolkit(0, nullptr);
    ASSERT_EQ(started, 1);
    CloseAppWindow(-1);
    while (PollEvent() != 0) {
    }
}
