#include "app/colour_panel.h"

#include "app/main_window.h"
#include "app/window_numbers.h"
#include "runtime/base/numbers.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/ui/gadgets.h"
#include "tone/kernels.h"
#include "tone/presets.h"

#include <algorithm>

uint16_t SampleLuminance[SampleLuminanceSlots];
int SliderHeld = 0;

namespace {

constexpr int64_t SelectionFrame = 0x9090F0;

// The part of one 256-pixel sample row that lies inside the canvas: the sample
// is placed at x0, y0 and may be clipped by a canvas smaller than it.
struct SampleClip {
    int first = 0; // first sample column inside the canvas
    int end = 0;   // one past the last
};

SampleClip ClipSampleRow(int x0, int64_t canvasWidth) {
    SampleClip clip;
    clip.first = std::max(0, -x0);
    clip.end = int(std::min<int64_t>(SampleWidth, canvasWidth - x0));
    if (clip.end < clip.first) clip.end = clip.first;
    return clip;
}

} // namespace

void DrawColourField() {
    if (!OpenDrawTarget(CanvasTarget(GadgetColourField))) return;
    int x0 = FloorDiv(int(TargetWidth()) - 168, 2);
    int y0 = FloorDiv(int(TargetHeight()) - 96, 2);
    for (int i = 0; i < 10; i++) {
        for (int j = 0; j < 6; j++) {
            for (int k = 0; k < 4; k++) {
                FillRect(x0 + (i % 5) * 32 + 8 * k, y0 + (i / 5) * 48 + 8 * j, 8, 8,
                         PackRgb(255 * j / 5, 255 * i / 9, 255 * k / 3));
            }
        }
    }
    for (int g = 0; g < 12; g++) {
        int grey = 255 * g / 11;
        FillRect(x0 + 160, y0 + 8 * g, 8, 8, PackRgb(grey, grey, grey));
    }
    CloseDrawTarget();
}

void DrawStopStrip(int ownDrawing) {
    if (ownDrawing && !OpenDrawTarget(CanvasTarget(GadgetStopStrip))) return;
    FillRect(0, 0, TargetWidth(), TargetHeight(), PanelBackground);
    FillRect(0, 9, 168, 2, StripGrey);
    for (int i = 0; i < StopCount; i++) {
        int x = StopPitch * i;
        if (i == SelectedStop) {
            FillRect(x, 1, 16, 18, SelectionFrame);
        } else {
            FillRect(x, 2, 16, 16, StripGrey);
        }
        FillRect(x + 1, 3, 14, 14, PanelBackground);
        GradientStop stop = CurrentStops[i];
        if (StopIsSet(stop)) {
            FillRect(x + 2, 4, 12, 12, stop & 0xFFFFFF);
        } else {
            // Segments are given by start and signed extent: (x+2, 4)-(x+13, 15)
            // and (x+2, 15)-(x+13, 4).
            DrawSegment(x + 2, 4, 12, 12, StripGrey);
            DrawSegment(x + 2, 15, 12, -12, StripGrey);
        }
    }
    if (ownDrawing) CloseDrawTarget();
}

void DrawStopHoverMarks(int k) {
    FillRect(0, 0, TargetWidth(), 1, PanelBackground);
    FillRect(0, 19, TargetWidth(), 1, PanelBackground);
    if (k < 0 || k >= StopCount) return;
    FillRect(StopPitch * k, 0, 16, 1, StripGrey);
    FillRect(StopPitch * k, 19, 16, 1, StripGrey);
}

void ShowStopInFields() {
    GradientStop stop = CurrentStops[SelectedStop];
    SetGadgetText(GadgetRed, FormatInteger(stop & 0xFF));
    SetGadgetText(GadgetGreen, FormatInteger((stop >> 8) & 0xFF));
    SetGadgetText(GadgetBlue, FormatInteger((stop >> 16) & 0xFF));
}

void RedrawSample() {
    if (!OpenDrawTarget(CanvasTarget(GadgetSample))) return;
    int64_t width = TargetWidth();
    int64_t height = TargetHeight();
    int x0 = FloorDiv(int(width) - SampleWidth, 2);
    int y0 = FloorDiv(int(height) - SampleHeight, 2);
    unsigned char *pixels = TargetPixels();
    int64_t pitch = TargetPitch();
    int64_t format = TargetLayout();
    SampleClip clip = ClipSampleRow(x0, width);
    int firstRow = std::max(0, -y0);
    int endRow = int(std::min<int64_t>(SampleHeight, height - y0));

    // The kernels walk whole rows of `pitch` bytes; the canvas may be wider than
    // the sample, so each sample row is handed over on its own with a pitch that
    // covers exactly its visible part. SampleLuminance keeps 256 values a row.
    int64_t rowBytes = int64_t(clip.end - clip.first) * 4;
    if (ImageExists(ImageSample)) {
        BlitImage(ImageSample, x0, y0);
        for (int j = firstRow; j < endRow && rowBytes > 0; j++) {
            const unsigned char *row = pixels + (y0 + j) * pitch + (x0 + clip.first) * 4;
            ComputeLuminance(row, SampleLuminance + j * SampleWidth + clip.first, rowBytes, 1,
                             format);
        }
        ReleaseImage(ImageSample);
    }
    int8_t shift = int8_t(std::clamp(ToneShift, -ToneShiftLimit, ToneShiftLimit));
    for (int j = firstRow; j < endRow && rowBytes > 0; j++) {
        unsigned char *row = pixels + (y0 + j) * pitch + (x0 + clip.first) * 4;
        ApplyTone(SampleLuminance + j * SampleWidth + clip.first, row, rowBytes, 1, format, shift);
    }
    CloseDrawTarget();
}

void DrawShiftSlider() {
    if (!OpenDrawTarget(CanvasTarget(GadgetShiftSlider))) return;
    BlitImage(ImageSliderStrip, ToneShift - 122, 0);
    CloseDrawTarget();
}
