#include "app/handlers.h"

#include "app/about_window.h"
#include "app/colour_panel.h"
#include "app/commands.h"
#include "app/help_window.h"
#include "app/input_collection.h"
#include "app/preview_window.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "convert/stop_flag.h"
#include "runtime/base/numbers.h"
#include "runtime/image/draw_target.h"
#include "runtime/ui/toolkit.h"
#include "tone/colour_table.h"
#include "tone/presets.h"
#include "tone/stop_edits.h"
#include "tone/stop_text.h"

#include <algorithm>

namespace {

// The slider's centre (x of value 0) and the half-width of its dead zone.
constexpr int SliderCentre = 122;
constexpr int SliderDeadZone = 5;

int64_t MouseX(int64_t gadget) {
    return GetGadgetAttribute(gadget, CanvasAttributeMouseX);
}
int64_t MouseY(int64_t gadget) {
    return GetGadgetAttribute(gadget, CanvasAttributeMouseY);
}

void CopyStopsToClipboard() {
    PutClipboardText(CopyStopsAsText());
}

} // namespace

void PresetListHandler() {
    int64_t row = GetGadgetState(GadgetPresetList);
    if (row < 0 || !ChoosePreset(int(row))) return;
    ShowStopInFields();
    DrawStopStrip(1);
    RedrawSample();
}

void StopStripHandler() {
    // The strip is 168 pixels wide; a pointer just past its right end (or a drag
    // outside it) still names one of the nine stops.
    int k = int(std::clamp<int64_t>((MouseX(GadgetStopStrip) + 1) / StopPitch, 0, StopCount - 1));
    int64_t kind = EventKind();
    if (!OpenDrawTarget(CanvasTarget(GadgetStopStrip))) return;
    bool rebuild = false;
    if (kind == GadgetEventMouseMove) {
        DrawStopHoverMarks(k);
    } else if (kind == GadgetEventMouseLeave) {
        DrawStopHoverMarks(-1);
    } else if (kind == GadgetEventLeftClick) {
        SelectStop(k);
        ShowStopInFields();
        DrawStopStrip(0);
    } else if (kind == GadgetEventRightClick) {
        ClearStop(k);
        ShowStopInFields();
        DrawStopStrip(0);
        rebuild = true;
    }
    CloseDrawTarget();
    // The sample has its own drawing, which may start only after the strip's ends.
    if (rebuild) {
        BuildColourTable(CurrentStops);
        RedrawSample();
    }
}

void ColourFieldHandler() {
    int64_t x = MouseX(GadgetColourField);
    int64_t y = MouseY(GadgetColourField);
    if (!OpenDrawTarget(CanvasTarget(GadgetColourField))) return;
    bool inside = x >= 0 && y >= 0 && x < TargetWidth() && y < TargetHeight();
    int64_t colour = inside ? ReadPixel(x, y) : 0;
    CloseDrawTarget();
    if (!inside) return;
    SetStopColour(uint32_t(colour & 0xFFFFFF));
    ToneRefresh();
}

void ColourFieldsHandler() {
    int64_t field = EventObject();
    int64_t typed = ParseInteger(GetGadgetText(field));
    if (typed < 0) SetGadgetText(field, u"0");
    if (typed > 255) SetGadgetText(field, u"255");
    // Each field is clamped again here: a field changed behind the handler's back
    // must not spill into the neighbouring colour byte.
    int64_t r = std::clamp<int64_t>(ParseInteger(GetGadgetText(GadgetRed)), 0, 255);
    int64_t g = std::clamp<int64_t>(ParseInteger(GetGadgetText(GadgetGreen)), 0, 255);
    int64_t b = std::clamp<int64_t>(ParseInteger(GetGadgetText(GadgetBlue)), 0, 255);
    SetStopColour(uint32_t(r + 256 * g + 65536 * b));
    BuildColourTable(CurrentStops);
    DrawStopStrip(1);
    RedrawSample();
}

void SliderHandler() {
    bool move = false, redraw = false, reset = false;
    if (EventCode() == EventTimer) {
        if (SliderHeld) redraw = true;
    } else {
        switch (EventKind()) {
        case GadgetEventLeftButtonDown:
            SliderHeld = 1;
            move = redraw = true;
            StartWindowTimer(WindowMain, TimerSlider, SliderTimerPeriodMs);
            break;
        case GadgetEventMouseMove:
            // While held, the sample follows on the timer only.
            if (SliderHeld) move = true;
            break;
        case GadgetEventLeftButtonUp:
            SliderHeld = 0;
            move = redraw = true;
            StopWindowTimer(WindowMain, TimerSlider);
            break;
        case GadgetEventRightClick:
            reset = move = redraw = true;
            break;
        default:
            break;
        }
    }
    if (move) {
        int v = 0;
        if (!reset) {
            int64_t x = MouseX(GadgetShiftSlider);
            v = int(std::clamp<int64_t>(x - SliderCentre, -ToneShiftLimit, ToneShiftLimit));
            if (v > -SliderDeadZone && v < SliderDeadZone) v = 0;
        }
        if (v != ToneShift) {
            ToneShift = v;
            DrawShiftSlider();
        }
    }
    if (redraw) RedrawSample();
}

void StopHandler() {
    SetGadgetText(GadgetStopButton, u"PLEASE WAIT");
    DisableGadget(GadgetStopButton, 1);
    RequestStop();
}

void ResetSample() {
    CatchInterfaceImage(int(ImageSample));
    RedrawSample();
}

void BindMainWindowHandlers() {
    BindControlEvent(GadgetStopStrip, StopStripHandler);
    BindControlEvent(GadgetHelpButton, OpenHelpWindow, GadgetEventLeftClick);
    BindControlEvent(GadgetAboutButton, OpenAboutWindow, GadgetEventLeftClick);
    BindControlEvent(GadgetAboutButton, CopyStopsToClipboard, GadgetEventRightClick);
    BindControlEvent(GadgetChooseFolder, ChooseOutputFolder, GadgetEventLeftClick);
    BindControlEvent(GadgetPresetList, PresetListHandler);
    BindControlEvent(GadgetSample, RefreshPreview, GadgetEventLeftClick);
    BindControlEvent(GadgetSample, ResetSample, GadgetEventRightClick);
    BindControlEvent(GadgetShiftSlider, SliderHandler);
    BindControlEvent(GadgetRed, ColourFieldsHandler);
    BindControlEvent(GadgetGreen, ColourFieldsHandler);
    BindControlEvent(GadgetBlue, ColourFieldsHandler);
    BindControlEvent(GadgetStopButton, StopHandler, GadgetEventLeftClick);
    BindControlEvent(GadgetColourField, ColourFieldHandler, GadgetEventLeftClick);
    BindWindowEvent(EventTimer, SliderHandler, WindowMain, TimerSlider);
}
