#include "runtime/image/canvas_bitmap.h"
#include "toolkit_fixture.h"

#include <QTest>
#include <QWidget>

namespace {

struct CanvasEvent {
    int64_t type, x, y;
};
std::vector<CanvasEvent> Seen;
void RecordCanvas() {
    Seen.push_back({EventKind(), GetGadgetAttribute(EventObject(), CanvasAttributeMouseX),
                    GetGadgetAttribute(EventObject(), CanvasAttributeMouseY)});
}

int RightClicks = 0, LeftClicks = 0;
void CountRight() {
    ++RightClicks;
}
void CountLeft() {
    ++LeftClicks;
}

QWidget *Widget(int64_t gadget) {
    return reinterpret_cast<QWidget *>(ControlPlatformHandle(gadget));
}

} // namespace

TEST(MouseGadgets, CanvasReportsButtonsMovesAndClicksWithPosition) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 100, u"Canvas", 0, -1), 0);
    ASSERT_NE(CanvasGadget(14, 12, 20, 244, 16, 0), 0);
    Seen.clear();
    BindControlEvent(14, RecordCanvas);
    QWidget *canvas = Widget(14);
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(130, 5));
    QTest::mouseMove(canvas, QPoint(140, 6));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(141, 7));
    ASSERT_GE(Seen.size(), 4u);
    EXPECT_EQ(Seen[0].type, GadgetEventLeftButtonDown);
    EXPECT_EQ(Seen[0].x, 130);
    EXPECT_EQ(Seen[0].y, 5);
    // Moves with the button held are events too.
    bool moved = false;
    for (const CanvasEvent &e : Seen)
        if (e.type == GadgetEventMouseMove && e.x == 140 && e.y == 6) moved = true;
    EXPECT_TRUE(moved);
    EXPECT_EQ(Seen[Seen.size() - 2].type, GadgetEventLeftButtonUp);
    EXPECT_EQ(Seen.back().type, GadgetEventLeftClick);
    EXPECT_EQ(Seen.back().x, 141);
    EXPECT_EQ(Seen.back().y, 7);

    Seen.clear();
    QTest::mouseClick(canvas, Qt::RightButton, {}, QPoint(3, 4));
    ASSERT_EQ(Seen.size(), 3u);
    EXPECT_EQ(Seen[0].type, GadgetEventRightButtonDown);
    EXPECT_EQ(Seen[1].type, GadgetEventRightButtonUp);
    EXPECT_EQ(Seen[2].type, GadgetEventRightClick);

    // After the events, the queue gives them back with their positions current.
    while (PollEvent() != 0) {
    }
    Seen.clear();
    UnbindControlEvent(14);
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(50, 9));
    ASSERT_EQ(PollEvent(), EventGadget);
    EXPECT_EQ(EventKind(), GadgetEventLeftButtonDown);
    EXPECT_EQ(GetGadgetAttribute(14, CanvasAttributeMouseX), 50);
    EXPECT_EQ(GetGadgetAttribute(14, CanvasAttributeMouseY), 9);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(50, 9));
}

TEST(MouseGadgets, ReleaseOutsideTheCanvasIsNoClick) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 100, u"Canvas", 0, -1), 0);
    ASSERT_NE(CanvasGadget(14, 12, 20, 244, 16, 0), 0);
    Seen.clear();
    BindControlEvent(14, RecordCanvas);
    QTest::mousePress(Widget(14), Qt::LeftButton, {}, QPoint(10, 5));
    QTest::mouseRelease(Widget(14), Qt::LeftButton, {}, QPoint(300, 5));
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back().type, GadgetEventLeftButtonUp);
    EXPECT_EQ(Seen.back().x, 300); // the slider reads positions beyond its ends
    UnbindControlEvent(14);
}

TEST(MouseGadgets, LeavingTheCanvasIsAnEvent) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 100, u"Canvas", 0, -1), 0);
    ASSERT_NE(CanvasGadget(20, 6, 26, 168, 20, 0), 0);
    Seen.clear();
    BindControlEvent(20, RecordCanvas);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(Widget(20), &leave);
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_EQ(Seen[0].type, GadgetEventMouseLeave);
    UnbindControlEvent(20);
}

TEST(MouseGadgets, CanvasBitmapIsFoundByGadgetAndShown) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 250, u"Canvas", 0, -1), 0);
    ASSERT_NE(CanvasGadget(13, 6, 6, 20, 10, CanvasFlagBorder), 0);
    ASSERT_NE(CanvasGadget(22, 40, 6, 30, 12, 0), 0);
    CanvasBitmap *bitmap = CanvasBitmapOfGadget(13);
    ASSERT_NE(bitmap, nullptr);
    // The bitmap is the gadget's full size; the frame is painted over its edge.
    EXPECT_EQ(bitmap->width, 20);
    EXPECT_EQ(bitmap->height, 10);
    EXPECT_EQ(GetGadgetAttribute(13, CanvasAttributeWidth), 20);
    EXPECT_EQ(CanvasBitmapOfGadget(22)->width, 30);
    EXPECT_EQ(CanvasBitmapOfGadget(999), nullptr);
    for (int i = 0; i < bitmap->width * bitmap->height; ++i) {
        bitmap->pixels[i * 4 + 0] = 0x20;
        bitmap->pixels[i * 4 + 1] = 0x40;
        bitmap->pixels[i * 4 + 2] = 0xE0;
        bitmap->pixels[i * 4 + 3] = 0xFF;
    }
    RedisplayCanvasGadget(13);
    QImage shown = Widget(13)->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(5, 5)), QColor(0x20, 0x40, 0xE0));
    EXPECT_EQ(QColor(shown.pixel(0, 0)), QColor(0xC8, 0xC8, 0xC8)); // the light grey frame
    // Mouse positions are bitmap positions.
    Seen.clear();
    BindControlEvent(13, RecordCanvas);
    QTest::mouseClick(Widget(13), Qt::LeftButton, {}, QPoint(3, 2));
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back().x, 3);
    EXPECT_EQ(Seen.back().y, 2);
    UnbindControlEvent(13);
    // A resized canvas keeps the overlapping part of its picture.
    ResizeGadget(13, KeepValue, KeepValue, 40, 30);
    EXPECT_EQ(CanvasBitmapOfGadget(13)->width, 40);
    EXPECT_EQ(CanvasBitmapOfGadget(13)->height, 30);
    EXPECT_EQ(CanvasBitmapOfGadget(13)->pixels[2], 0xE0);
}

TEST(MouseGadgets, ImageGadgetTakesRightAndLeftClicks) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 100, u"Image", 0, -1), 0);
    QImage icon(24, 24, QImage::Format_RGBA8888);
    icon.fill(QColor(0, 128, 255));
    ASSERT_NE(ImageGadget(24, 234, 24, 24, 24, reinterpret_cast<int64_t>(&icon), 0), 0);
    icon.fill(Qt::red); // the gadget shows its own copy
    RightClicks = LeftClicks = 0;
    BindControlEvent(24, CountRight, GadgetEventRightClick);
    BindControlEvent(24, CountLeft, GadgetEventLeftClick);
    QTest::mouseClick(Widget(24), Qt::RightButton, {}, QPoint(12, 12));
    EXPECT_EQ(RightClicks, 1);
    EXPECT_EQ(LeftClicks, 0);
    QTest::mouseClick(Widget(24), Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(RightClicks, 1);
    EXPECT_EQ(LeftClicks, 1);
    QImage shown = Widget(24)->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(3, 3)), QColor(0, 128, 255));
    // A picture of the same shape is copied into the gadget's own: shown at once,
    // and later changes to the source still do not reach the gadget.
    SetGadgetState(24, reinterpret_cast<int64_t>(&icon));
    shown = Widget(24)->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(3, 3)), QColor(255, 0, 0));
    icon.fill(Qt::green);
    shown = Widget(24)->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(3, 3)), QColor(255, 0, 0));
    icon.fill(Qt::red);
    SetImageGadgetDisplaySize(24, 12, 12);
    shown = Widget(24)->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(3, 3)), QColor(255, 0, 0));
    EXPECT_NE(QColor(shown.pixel(18, 18)), QColor(255, 0, 0));
    UnbindControlEvent(24, GadgetEventRightClick);
    UnbindControlEvent(24, GadgetEventLeftClick);
}
