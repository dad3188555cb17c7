#include "toolkit_fixture.h"

#include <QCursor>
#include <QTest>
#include <QWidget>

// Reads back the colour of a window placed under the pointer; where the
// platform refuses to give out screen content the answer must be opaque black.
TEST(ScreenColour, PixelUnderThePointerWithOpaqueAlpha) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 100, 100, 80, 60, u"Colour", WindowFlagBorderless, -1), 0);
    SetWindowBackground(0, 0x3060C0); // red 0xC0, green 0x60, blue 0x30
    auto *top = reinterpret_cast<QWidget *>(WindowPlatformHandle(0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    QCursor::setPos(top->mapToGlobal(QPoint(40, 30)));
    EXPECT_EQ(PointerScreenX(), top->mapToGlobal(QPoint(40, 30)).x());
    EXPECT_EQ(PointerScreenY(), top->mapToGlobal(QPoint(40, 30)).y());
    uint32_t colour = ScreenColourUnderPointer();
    EXPECT_EQ(colour >> 24, 0xFFu);
    if (colour == 0xFF000000u) GTEST_SKIP() << "the platform gives out no screen content";
    EXPECT_EQ(colour, 0xFF3060C0u);
}
