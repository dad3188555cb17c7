#include "runtime/image/canvas_bitmap.h"
#include "runtime/ui/toolkit.h"

#include <QApplication>
#include <gtest/gtest.h>

TEST(Toolkit, EndReleasesEverythingAndTheToolkitStartsAgain) {
    ASSERT_EQ(StartToolkit(0, nullptr), 1);
    ASSERT_NE(QApplication::instance(), nullptr);
    ASSERT_NE(OpenAppWindow(0, 0, 0, 200, 100, u"Main", 0, -1), 0);
    ASSERT_NE(CanvasGadget(3, 0, 0, 10, 10, 0), 0);
    EXPECT_NE(CanvasBitmapOfGadget(3), nullptr);
    StartWindowTimer(0, 30, 10);
    PostAppEvent(EventFirstCustom, 0, 0, 0, 0);
    EndToolkit();
    EXPECT_EQ(QApplication::instance(), nullptr);
    EXPECT_EQ(WindowExists(0), 0);
    EXPECT_EQ(IsGadget(3), 0);
    EXPECT_EQ(CanvasBitmapOfGadget(3), nullptr); // the resolver is gone with the toolkit
    EXPECT_EQ(PollEvent(), 0);                   // queued events went too

    ASSERT_EQ(StartToolkit(0, nullptr), 1);
    ASSERT_NE(OpenAppWindow(0, 0, 0, 200, 100, u"Again", 0, -1), 0);
    EXPECT_EQ(WindowInnerWidth(0), 200);
    PostAppEvent(EventFirstCustom, 0, 0, 0, 0);
    int code;
    while ((code = PollEvent()) != 0 && code != EventFirstCustom) { // window events first
    }
    EXPECT_EQ(code, EventFirstCustom);
    EndToolkit();
}
