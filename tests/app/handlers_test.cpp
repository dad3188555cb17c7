#include "app/handlers.h"

#include "app/colour_panel.h"
#include "app/main_window.h"
#include "app_harness.h"
#include "convert/stop_flag.h"
#include "runtime/image/images.h"
#include "tone/colour_table.h"
#include "tone/presets.h"
#include "tone/stop_edits.h"

#include <QListWidget>
#include <QSpinBox>
#include <algorithm>
#include <cstring>

namespace {

void ChooseGray() {
    SetGadgetState(GadgetPresetList, 0);
    PresetListHandler();
    SelectStop(0);
    ShowStopInFields();
    DrawStopStrip(1);
}

void SelectStopByClick(int k) {
    ClickCanvas(GadgetStopStrip, 19 * k + 5, 8);
}

// Types the text into a spin field as the user would: select all, type, Enter.
void TypeIntoSpin(int64_t gadget, const char *text) {
    auto *spin = qobject_cast<QSpinBox *>(WidgetOf(gadget));
    ASSERT_NE(spin, nullptr);
    spin->selectAll();
    QTest::keyClicks(spin, text);
    QTest::keyClick(spin, Qt::Key_Return);
    PumpEvents();
}

// Fetches events for up to `ms` milliseconds until a tick of the slider timer
// has been handled; true when one was.
bool WaitForSliderTick(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        int code = WaitForEventFor(20);
        if (!code) continue;
        bool tick = code == EventTimer && EventObject() == TimerSlider;
        DispatchEvent(code);
        if (tick) return true;
    }
    return false;
}

} // namespace

TEST(Handlers, PresetListClickChoosesTheRowAndNoRowChoosesNothing) {
    EnsureMainWindow();
    ChooseGray();
    auto *list = qobject_cast<QListWidget *>(WidgetOf(GadgetPresetList));
    ASSERT_NE(list, nullptr);
    list->scrollToItem(list->item(2));
    QRect row = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    PumpEvents();
    EXPECT_EQ(GetGadgetState(GadgetPresetList), 2);
    EXPECT_EQ(std::memcmp(CurrentStops, PresetTable.rows[2].stops, sizeof CurrentStops), 0);

    // With no row selected the handler keeps the tone in force.
    GradientStop before[StopCount];
    std::memcpy(before, CurrentStops, sizeof before);
    SetGadgetState(GadgetPresetList, -1);
    PresetListHandler();
    EXPECT_EQ(std::memcmp(CurrentStops, before, sizeof before), 0);
    ChooseGray();
}

TEST(Handlers, StopStripSelectsClearsAndMarks) {
    EnsureMainWindow();
    ChooseGray();
    GradientStop before[StopCount];
    std::memcpy(before, CurrentStops, sizeof before);

    // A left click only selects.
    SelectStopByClick(3);
    EXPECT_EQ(SelectedStop, 3);
    EXPECT_EQ(std::memcmp(CurrentStops, before, sizeof before), 0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 57, 1), 0x9090F0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 0, 1), 0xE8E8E8);

    // A right click on stop 8 clears it (cross), selects it and rebuilds the
    // table: an unset stop 8 counts as white, so Gray's top stays white.
    ClickCanvas(GadgetStopStrip, 19 * 8 + 5, 8, Qt::RightButton);
    EXPECT_EQ(SelectedStop, 8);
    EXPECT_FALSE(StopIsSet(CurrentStops[8]));
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152 + 2, 4), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152 + 5, 4), 0xE8E8E8);
    EXPECT_EQ(GetGadgetText(GadgetRed), u"0");

    // Clearing stop 0 of a tone whose stop 0 is white makes the table start black.
    CurrentStops[0] = OpaqueWhite;
    BuildColourTable(CurrentStops);
    ASSERT_EQ(ToneColourTable[0] & 0xFFFFFF, 0xFFFFFFu);
    ClickCanvas(GadgetStopStrip, 5, 8, Qt::RightButton);
    EXPECT_EQ(SelectedStop, 0);
    EXPECT_EQ(ToneColourTable[0] & 0xFFFFFF, 0u);

    // Hover marks above and below the stop under the pointer.
    MoveOverCanvas(GadgetStopStrip, 45, 8);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 38, 0), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 53, 19), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 54, 0), 0xE8E8E8);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 37, 19), 0xE8E8E8);
    // A drag far outside the strip still marks a stop that exists.
    MoveOverCanvas(GadgetStopStrip, 400, 8, Qt::LeftButton);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152, 0), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 38, 0), 0xE8E8E8);
    MoveOverCanvas(GadgetStopStrip, -60, 8, Qt::LeftButton);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 0, 19), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152, 0), 0xE8E8E8);
    // Leaving clears both rows.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(WidgetOf(GadgetStopStrip), &leave);
    PumpEvents();
    for (int x = 0; x < 168; x += 7) {
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x, 0), 0xE8E8E8) << x;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x, 19), 0xE8E8E8) << x;
    }
    ChooseGray();
}

TEST(Handlers, ColourFieldClickSetsTheSelectedStop) {
    EnsureMainWindow();
    ChooseGray();
    SelectStopByClick(4);
    ASSERT_FALSE(StopIsSet(CurrentStops[4]));
    int x0 = FloorDiv(CanvasWidth(GadgetColourField) - 168, 2);
    int y0 = FloorDiv(CanvasHeight(GadgetColourField) - 96, 2);
    // Block 7, row 3, column 2: red 153, green 198, blue 170.
    ClickCanvas(GadgetColourField, x0 + 64 + 16 + 3, y0 + 48 + 24 + 3);
    EXPECT_EQ(CurrentStops[4], 0xFFAAC699u);
    EXPECT_EQ(GetGadgetText(GadgetRed), u"153");
    EXPECT_EQ(GetGadgetText(GadgetGreen), u"198");
    EXPECT_EQ(GetGadgetText(GadgetBlue), u"170");
    // The table passes through the new stop at luminance 1024.
    EXPECT_EQ(ToneColourTable[1024] & 0xFFFFFF, 0xAAC699u);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 76 + 2, 4), 0xAAC699);
    ChooseGray();
}

TEST(Handlers, ColourFieldsClampTypedValues) {
    EnsureMainWindow();
    ChooseGray();
    SelectStopByClick(2);
    TypeIntoSpin(GadgetRed, "300");
    EXPECT_EQ(GetGadgetText(GadgetRed), u"255");
    EXPECT_EQ(CurrentStops[2], 0xFF0000FFu);
    TypeIntoSpin(GadgetGreen, "77");
    EXPECT_EQ(CurrentStops[2], 0xFF004DFFu);
    TypeIntoSpin(GadgetRed, "-5");
    EXPECT_EQ(GetGadgetText(GadgetRed), u"0");
    EXPECT_EQ(CurrentStops[2], 0xFF004D00u);
    // The strip shows the stop set with its colour.
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 38 + 2, 4), 0x004D00);
    // The arrows step within the range.
    auto *blue = qobject_cast<QSpinBox *>(WidgetOf(GadgetBlue));
    blue->stepBy(1);
    PumpEvents();
    EXPECT_EQ(CurrentStops[2], 0xFF014D00u);
    ChooseGray();
}

TEST(Handlers, SliderClampsSnapsAndResets) {
    EnsureMainWindow();
    ToneShift = 0;
    struct Case {
        int x, value;
    } cases[] = {{3, -116}, {-40, -116}, {6, -116}, {7, -115},  {118, 0},  {117, -5},
                 {126, 0},  {127, 5},    {200, 78}, {238, 116}, {500, 116}};
    for (const Case &c : cases) {
        PressCanvas(GadgetShiftSlider, c.x, 8);
        ReleaseCanvas(GadgetShiftSlider, c.x, 8);
        EXPECT_EQ(ToneShift, c.value) << "x " << c.x;
        EXPECT_EQ(SliderHeld, 0);
    }
    // The marker follows: the strip is drawn at x = ToneShift - 122.
    ASSERT_TRUE(OpenDrawTarget(ImageTarget(ImageSliderStrip)));
    int64_t stripPixel = ReadPixel(244, 8);
    CloseDrawTarget();
    EXPECT_EQ(CanvasPixel(GadgetShiftSlider, 244 - 122 + 116, 8), stripPixel);

    // A right click puts it back in the centre.
    ClickCanvas(GadgetShiftSlider, 30, 8, Qt::RightButton);
    EXPECT_EQ(ToneShift, 0);
    EXPECT_EQ(CanvasPixel(GadgetShiftSlider, 122, 8), stripPixel);
}

TEST(Handlers, SliderRedrawsTheSampleOnTimerTicksWhileHeld) {
    EnsureMainWindow();
    ChooseGray();
    ToneShift = 0;
    RedrawSample();
    std::vector<int64_t> atZero = CanvasSnapshot(GadgetSample);

    PressCanvas(GadgetShiftSlider, 200, 8); // value 78, drawn at once
    EXPECT_EQ(SliderHeld, 1);
    EXPECT_EQ(ToneShift, 78);
    std::vector<int64_t> atPress = CanvasSnapshot(GadgetSample);
    EXPECT_NE(atPress, atZero);

    // Moving while held changes the value and the marker but not the sample. The
    // queue is not pumped here, so a tick of timer 30 cannot slip in before the
    // snapshot however slow the machine is.
    MoveOverCanvas(GadgetShiftSlider, 30, 8, Qt::LeftButton, false);
    EXPECT_EQ(ToneShift, -92);
    EXPECT_EQ(CanvasSnapshot(GadgetSample), atPress);

    // The next tick of timer 30 redraws it.
    ASSERT_TRUE(WaitForSliderTick(2000));
    std::vector<int64_t> atTick = CanvasSnapshot(GadgetSample);
    EXPECT_NE(atTick, atPress);

    // Moves without the button held do nothing.
    ReleaseCanvas(GadgetShiftSlider, 30, 8);
    EXPECT_EQ(SliderHeld, 0);
    MoveOverCanvas(GadgetShiftSlider, 150, 8);
    EXPECT_EQ(ToneShift, -92);
    // Released: the timer is gone, ticks no longer arrive.
    EXPECT_FALSE(WaitForSliderTick(350));

    ClickCanvas(GadgetShiftSlider, 122, 8, Qt::RightButton);
    EXPECT_EQ(CanvasSnapshot(GadgetSample), atZero);
}

TEST(Handlers, StopButtonAsksTheWorkerToStop) {
    EnsureMainWindow();
    ClearStopRequest();
    SetBusyMode(1);
    QTest::mouseClick(WidgetOf(GadgetStopButton), Qt::LeftButton);
    PumpEvents();
    EXPECT_EQ(GetGadgetText(GadgetStopButton), u"PLEASE WAIT");
    EXPECT_FALSE(WidgetOf(GadgetStopButton)->isEnabled());
    EXPECT_TRUE(StopRequested());
    ClearStopRequest();
    SetBusyMode(0);
}

TEST(Handlers, RightClickOnSampleRestoresTheBuiltInPicture) {
    EnsureMainWindow();
    ChooseGray();
    std::vector<int64_t> original = CanvasSnapshot(GadgetSample);
    std::fill(std::begin(SampleLuminance), std::end(SampleLuminance), uint16_t(1000));
    RedrawSample();
    ASSERT_NE(CanvasSnapshot(GadgetSample), original);
    ClickCanvas(GadgetSample, 100, 100, Qt::RightButton);
    EXPECT_FALSE(ImageExists(ImageSample));
    EXPECT_EQ(CanvasSnapshot(GadgetSample), original);
}
