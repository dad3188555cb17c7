#include "app/colour_panel.h"

#include "app/handlers.h"
#include "app/main_window.h"
#include "app_harness.h"
#include "runtime/image/images.h"
#include "tone/colour_table.h"
#include "tone/presets.h"

#include <algorithm>

namespace {

int RowNamed(const char16_t *name) {
    String wanted(name);
    for (int row = 0; row < PresetRowCount; row++) {
        String text = PresetName(row);
        if (text.substr(0, wanted.size()) == wanted &&
            text.find_first_not_of(u' ', wanted.size()) == String::npos)
            return row;
    }
    return -1;
}

void ChooseRow(int row) {
    SetGadgetState(GadgetPresetList, row);
    PresetListHandler();
}

// Expects the 8 x 8 square at x, y to have one colour (every pixel of it that
// lies inside the drawing area; a frame may hide the outermost pixels).
void ExpectSquare(int64_t gadget, int x, int y, int64_t colour) {
    int width = CanvasWidth(gadget), height = CanvasHeight(gadget);
    int inside = 0;
    for (int dy = 0; dy < 8; dy++)
        for (int dx = 0; dx < 8; dx++) {
            if (x + dx < 0 || y + dy < 0 || x + dx >= width || y + dy >= height) continue;
            inside++;
            ASSERT_EQ(CanvasPixel(gadget, x + dx, y + dy), colour)
                << "square at " << x << ", " << y << " pixel " << dx << ", " << dy;
        }
    EXPECT_GE(inside, 56) << "square at " << x << ", " << y;
}

} // namespace

TEST(ColourPanel, ColourFieldSquares) {
    EnsureMainWindow();
    // The field is centred in the canvas's drawing area (a frame may take a pixel).
    int x0 = FloorDiv(CanvasWidth(GadgetColourField) - 168, 2);
    int y0 = FloorDiv(CanvasHeight(GadgetColourField) - 96, 2);
    // Block 7 (second row, third column), row 3, column 2.
    ExpectSquare(GadgetColourField, x0 + 64 + 16, y0 + 48 + 24, PackRgb(153, 198, 170));
    // Block 4 (first row, last column), row 5, column 3: red and blue full.
    ExpectSquare(GadgetColourField, x0 + 128 + 24, y0 + 40, PackRgb(255, 113, 255));
    // Block 0 row 0 column 0 is black only where the frame leaves it visible.
    EXPECT_EQ(CanvasPixel(GadgetColourField, x0 + 4, y0 + 4), 0);
    // The grey column: 255 * g / 11.
    ExpectSquare(GadgetColourField, x0 + 160, y0 + 40, PackRgb(115, 115, 115));
    ExpectSquare(GadgetColourField, x0 + 160, y0 + 8, PackRgb(23, 23, 23));
    EXPECT_EQ(CanvasPixel(GadgetColourField, x0 + 163, y0 + 92), 0xFFFFFF);
}

TEST(ColourPanel, StopStripOfGray) {
    EnsureMainWindow();
    ChooseRow(0);
    SelectedStop = 0;
    DrawStopStrip(1);
    // Stop 0: black square inside the selection frame.
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 2, 4), 0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 13, 15), 0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 0, 1), 0x9090F0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 15, 18), 0x9090F0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 1, 3), 0xE8E8E8);
    // Stop 8: white square, plain grey frame.
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152 + 2, 4), 0xFFFFFF);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152 + 13, 15), 0xFFFFFF);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152, 2), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 152, 1), 0xE8E8E8);
    // Stops 1..7: crosses, the diagonals grey and the rest of the box background.
    for (int i = 1; i <= 7; i++) {
        int x = 19 * i;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x + 2, 4), 0xB0B0B0) << "stop " << i;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x + 7, 9), 0xB0B0B0) << "stop " << i;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x + 13, 15), 0xB0B0B0) << "stop " << i;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x + 2, 15), 0xB0B0B0) << "stop " << i;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x + 13, 4), 0xB0B0B0) << "stop " << i;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x + 5, 4), 0xE8E8E8) << "stop " << i;
        EXPECT_EQ(CanvasPixel(GadgetStopStrip, x + 2, 10), 0xE8E8E8) << "stop " << i;
    }
    // The bar between the squares, and the free rows above and below.
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 17, 9), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 17, 10), 0xB0B0B0);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 17, 8), 0xE8E8E8);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 40, 0), 0xE8E8E8);
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 40, 19), 0xE8E8E8);
}

TEST(ColourPanel, FieldsShowTheSelectedStopSetOrNot) {
    EnsureMainWindow();
    GradientStop saved = CurrentStops[3];
    CurrentStops[3] = 0x00123456; // not set: its colour bytes still show
    SelectedStop = 3;
    ShowStopInFields();
    EXPECT_EQ(GetGadgetText(GadgetRed), u"86");
    EXPECT_EQ(GetGadgetText(GadgetGreen), u"52");
    EXPECT_EQ(GetGadgetText(GadgetBlue), u"18");
    CurrentStops[3] = saved;
    SelectedStop = 0;
    ShowStopInFields();
}

TEST(ColourPanel, SampleTonedFromStoredLuminance) {
    EnsureMainWindow();
    int x0 = FloorDiv(CanvasWidth(GadgetSample) - SampleWidth, 2);
    int y0 = FloorDiv(CanvasHeight(GadgetSample) - SampleHeight, 2);
    int inverted = RowNamed(u"Inverted gray");
    ASSERT_GE(inverted, 0);

    ChooseRow(0);
    int64_t darkGray = CanvasPixel(GadgetSample, 10 + x0, 180 + y0);
    int64_t brightGray = CanvasPixel(GadgetSample, 245 + x0, 180 + y0);
    EXPECT_LT(RedOf(darkGray), 40);
    EXPECT_GT(RedOf(brightGray), 215);

    ChooseRow(inverted);
    int64_t darkInverted = CanvasPixel(GadgetSample, 10 + x0, 180 + y0);
    int64_t brightInverted = CanvasPixel(GadgetSample, 245 + x0, 180 + y0);
    EXPECT_GT(RedOf(darkInverted), 215);
    EXPECT_LT(RedOf(brightInverted), 40);

    // Every visible pixel is the table entry of its stored luminance, shifted.
    for (int shift : {0, -37, 116}) {
        ToneShift = shift;
        RedrawSample();
        std::vector<int64_t> pixels = CanvasSnapshot(GadgetSample);
        int width = CanvasWidth(GadgetSample), height = CanvasHeight(GadgetSample);
        ASSERT_EQ(pixels.size(), size_t(width) * height);
        int wrong = 0;
        for (int y = std::max(0, y0); y < std::min(height, y0 + SampleHeight); y++) {
            for (int x = std::max(0, x0); x < std::min(width, x0 + SampleWidth); x++) {
                int luminance = SampleLuminance[(y - y0) * SampleWidth + (x - x0)];
                int64_t expected = ToneColourTable[luminance + 8 * shift] & 0xFFFFFF;
                if (pixels[size_t(y) * width + x] != expected && wrong++ < 5)
                    ADD_FAILURE() << "shift " << shift << " pixel " << x << ", " << y;
            }
        }
        EXPECT_EQ(wrong, 0) << "shift " << shift;
    }
    ToneShift = 0;
    ChooseRow(0);
}

TEST(ColourPanel, SliderShowsTheStripAtTheShift) {
    EnsureMainWindow();
    ASSERT_TRUE(ImageExists(ImageSliderStrip));
    for (int shift : {0, 50, -116}) {
        ToneShift = shift;
        DrawShiftSlider();
        std::vector<int64_t> canvas = CanvasSnapshot(GadgetShiftSlider);
        ASSERT_EQ(canvas.size(), 244u * 16u);
        ASSERT_TRUE(OpenDrawTarget(ImageTarget(ImageSliderStrip)));
        int wrong = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 244; x++)
                if (canvas[y * 244 + x] != ReadPixel(x - shift + 122, y)) wrong++;
        CloseDrawTarget();
        EXPECT_EQ(wrong, 0) << "shift " << shift;
    }
    ToneShift = 0;
    DrawShiftSlider();
}
