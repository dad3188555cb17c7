#include "toolkit_fixture.h"

#include <QPushButton>
#include <QTest>
#include <QWidget>

namespace {

int Clicks = 0;
void CountClick() {
    ++Clicks;
}

QWidget *Top(int64_t window) {
    return reinterpret_cast<QWidget *>(WindowPlatformHandle(window));
}

} // namespace

TEST(Windows, OpenAnswersHandleOrNumberAndCloseForgetsIt) {
    StartTestToolkit();
    int64_t handle = OpenAppWindow(0, 10, 10, 320, 200, u"Main", WindowFlagInvisible, -1);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(handle, WindowPlatformHandle(0));
    EXPECT_EQ(WindowExists(0), 1);
    EXPECT_EQ(WindowInnerWidth(0), 320);
    EXPECT_EQ(WindowInnerHeight(0), 200);
    EXPECT_EQ(WindowCaption(0), u"Main");
    SetWindowCaption(0, u"· Main");
    EXPECT_EQ(WindowCaption(0), u"· Main");
    EXPECT_FALSE(Top(0)->isVisible());

    int64_t automatic = OpenAppWindow(-1, 0, 0, 100, 80, u"Auto", WindowFlagInvisible, 0);
    ASSERT_NE(automatic, 0);
    EXPECT_EQ(WindowExists(automatic), 1);
    EXPECT_EQ(WindowInnerWidth(automatic), 100);
    // A child window lives above its parent.
    EXPECT_EQ(Top(automatic)->parentWidget(), Top(0));

    // Closing the parent closes the child with it: its widget dies with the
    // parent's, so its number must not stay usable.
    CloseAppWindow(0);
    EXPECT_EQ(WindowExists(0), 0);
    EXPECT_EQ(WindowInnerWidth(0), 0);
    EXPECT_EQ(WindowCaption(0), u"");
    EXPECT_EQ(WindowExists(automatic), 0);
    EXPECT_EQ(PollEvent(), 0); // deferred deletes run; nothing refers to them
    EXPECT_EQ(WindowInnerWidth(automatic), 0);
    CloseAppWindow(automatic); // harmless
    CloseAppWindow(-1);
    // Numbers that name nothing are harmless.
    SetWindowHidden(12345, 1);
    SetWindowSizeLimits(12345, 1, 1, 1, 1);
    EXPECT_EQ(WindowPlatformHandle(12345), 0);
}

TEST(Windows, MinimumSizeIsEnforcedAndGrowsASmallerWindow) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 400, 300, u"Limits", WindowFlagResizable, -1), 0);
    SetWindowSizeLimits(0, 500, 350, KeepValue, KeepValue);
    EXPECT_EQ(WindowInnerWidth(0), 500);
    EXPECT_EQ(WindowInnerHeight(0), 350);
    ResizeAppWindow(0, 300, 200);
    EXPECT_EQ(WindowInnerWidth(0), 500);
    EXPECT_EQ(WindowInnerHeight(0), 350);
    Top(0)->resize(100, 100); // as a window manager would ask
    EXPECT_EQ(WindowInnerWidth(0), 500);
    SetWindowSizeLimits(0, KeepValue, KeepValue, 600, 400);
    ResizeAppWindow(0, 900, 900);
    EXPECT_EQ(WindowInnerWidth(0), 600);
    EXPECT_EQ(WindowInnerHeight(0), 400);
    // The minimum set before stays.
    ResizeAppWindow(0, 10, 10);
    EXPECT_EQ(WindowInnerWidth(0), 500);
}

TEST(Windows, FixedSizeWindowKeepsItsSize) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(1, 0, 0, 260, 320, u"", 0, -1), 0);
    ResizeAppWindow(1, 500, 500);
    EXPECT_EQ(WindowInnerWidth(1), 260);
    EXPECT_EQ(WindowInnerHeight(1), 320);
}

TEST(Windows, DisabledWindowSwallowsClicks) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 200, 100, u"Disabled", 0, -1), 0);
    ASSERT_NE(ButtonGadget(7, 10, 10, 100, 30, u"Press"), 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Top(0)));
    BindControlEvent(7, CountClick, GadgetEventLeftClick);
    Clicks = 0;
    QWindow *window = Top(0)->windowHandle();
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(50, 25));
    EXPECT_EQ(Clicks, 1);
    SetWindowDisabled(0, 1);
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(50, 25));
    EXPECT_EQ(Clicks, 1);
    SetWindowDisabled(0, 0);
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(50, 25));
    EXPECT_EQ(Clicks, 2);
    UnbindControlEvent(7, GadgetEventLeftClick);
}

TEST(Windows, CloseRequestIsAnEventAndTheWindowStays) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(3, 0, 0, 200, 100, u"Close me", 0, -1), 0);
    while (PollEvent() != 0) {
    }
    EXPECT_FALSE(Top(3)->close());
    EXPECT_EQ(PollEvent(), EventCloseWindow);
    EXPECT_EQ(EventWindowNumber(), 3);
    EXPECT_EQ(WindowExists(3), 1);
    EXPECT_TRUE(Top(3)->isVisible());
}

TEST(Windows, SizeEventRunsItsBindingWithTheNewSize) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 200, u"Size", WindowFlagResizable, -1), 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Top(0)));
    static int seenWidth = 0;
    seenWidth = 0;
    BindWindowEvent(
        EventSizeWindow, [] { seenWidth = WindowInnerWidth(EventWindowNumber()); }, 0);
    ResizeAppWindow(0, 420, 260);
    EXPECT_EQ(seenWidth, 420);
    UnbindWindowEvent(EventSizeWindow, 0);
}

TEST(Windows, BackgroundClicksAndFloatingLevel) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 200, 100, u"Click", 0, -1), 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Top(0)));
    while (PollEvent() != 0) {
    }
    QTest::mouseClick(Top(0)->windowHandle(), Qt::RightButton, {}, QPoint(150, 80));
    int code = 0;
    while ((code = PollEvent()) != 0 && code != EventRightClick) {
    }
    EXPECT_EQ(code, EventRightClick);
    EXPECT_EQ(EventWindowNumber(), 0);

    SetWindowFloating(0, 1);
    EXPECT_TRUE(Top(0)->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Top(0)->isVisible());
    SetWindowFloating(0, 0);
    EXPECT_FALSE(Top(0)->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Top(0)->isVisible());
}
