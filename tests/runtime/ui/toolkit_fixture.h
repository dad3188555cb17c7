// Shared by the toolkit tests: starts the toolkit once per test program (Qt's
// offscreen platform, set by the test registration) and empties the queue.
#pragma once

#include "runtime/ui/toolkit.h"

#include <gtest/gtest.h>

// Ends the toolkit after the last test, while Qt is still whole (an exit handler
// would run after Qt's own statics are gone), so what a test left open (windows
// with their gadgets and canvases, menus) is freed and leak checks see only real
// leaks.
class ToolkitEnding : public ::testing::Environment {
  public:
    void TearDown() override { EndToolkit(); }
};

inline void StartTestToolkit() {
    static int started = [] {
        int ok = StartToolkit(0, nullptr);
        if (ok) ::testing::AddGlobalTestEnvironment(new ToolkitEnding);
        return ok;
    }();
    ASSERT_EQ(started, 1);
    CloseAppWindow(-1);
    while (PollEvent() != 0) {
    }
}
