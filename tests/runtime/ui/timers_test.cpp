#include "toolkit_fixture.h"

namespace {
int Ticks = 0;
void CountTick() {
    ++Ticks;
}
} // namespace

TEST(Timers, TimerSendsEventFifteenWithItsIdUntilStopped) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 100, 100, u"Timers", WindowFlagInvisible, -1), 0);
    Ticks = 0;
    BindWindowEvent(EventTimer, CountTick, 0, 30);
    StartWindowTimer(0, 30, 20);
    int code = 0;
    for (int i = 0; i < 50 && code != EventTimer; ++i) code = WaitForEventFor(100);
    ASSERT_EQ(code, EventTimer);
    EXPECT_EQ(EventObject(), 30);
    EXPECT_EQ(EventWindowNumber(), 0);
    EXPECT_GE(Ticks, 1);
    // It repeats.
    code = 0;
    for (int i = 0; i < 50 && code != EventTimer; ++i) code = WaitForEventFor(100);
    EXPECT_EQ(code, EventTimer);
    EXPECT_GE(Ticks, 2);

    StopWindowTimer(0, 30);
    while (PollEvent() != 0) {
    }
    int before = Ticks;
    EXPECT_EQ(WaitForEventFor(150), 0);
    EXPECT_EQ(Ticks, before);
    UnbindWindowEvent(EventTimer, 0, 30);
}

TEST(Timers, StartingTheSameIdAgainReplacesTheTimer) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 100, 100, u"Timers", WindowFlagInvisible, -1), 0);
    StartWindowTimer(0, 7, 10);
    StartWindowTimer(0, 7, 60000);
    EXPECT_EQ(WaitForEventFor(150), 0);
    StopWindowTimer(0, 7);
    // Closing a window ends its timers.
    StartWindowTimer(0, 8, 10);
    CloseAppWindow(0);
    EXPECT_EQ(WaitForEventFor(100), 0);
}
