#include "app/main_window.h"

#include "app/colour_panel.h"
#include "app/window_numbers.h"
#include "convert/conversion_types.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/ui/gadgets.h"
#include "runtime/ui/windows.h"
#include "tone/presets.h"

namespace {

constexpr int64_t LogText = 0x202020;
constexpr int64_t LogBackground = 0xF8F8F8;
constexpr int64_t ThumbnailBackground = 0xF2F2F2;
// Light red, green and blue behind the R, G and B fields (0xBBGGRR).
constexpr int64_t RedFieldBackground = 0xC0C0FF;
constexpr int64_t GreenFieldBackground = 0xC0FFC0;
constexpr int64_t BlueFieldBackground = 0xFFC0C0;
constexpr int SizeFieldMaxLength = 5;

// The editing controls hidden in the busy look, in the order they are hidden.
constexpr int64_t EditingGadgets[] = {GadgetShiftSlider, GadgetPresetList, GadgetColourField,
                                      GadgetRed,         GadgetGreen,      GadgetBlue,
                                      GadgetStopStrip};

void DrawDropBanner() {
    if (!OpenDrawTarget(CanvasTarget(GadgetDropBanner))) return;
    FillRect(0, 0, TargetWidth(), TargetHeight(), LogBackground);
    BlitImageBlended(ImageDropBanner, 0, 0);
    CloseDrawTarget();
}

void CreateOutputPanel() {
    // Placeholder geometry: LayoutMainWindow places the panel and its wide children.
    ContainerGadget(GadgetOutputPanel, 6, 6, 6, 6, 0);
    TextGadget(GadgetOutputLabel, 2, 3, 100, 22, u"Output folder", 0);
    StringGadget(GadgetOutputFolder, 98, 0, 10, 22, u"", StringFlagReadOnly);
    ButtonGadget(GadgetChooseFolder, 10, 0, 40, 22, u"...");
    TextGadget(GadgetMaxSizeLabel, 2, 33, 60, 22, u"Max size", 0);
    StringGadget(GadgetMaxWidth, 98, 30, 50, 24, u"8192", StringFlagNumeric);
    TextGadget(GadgetTimesLabel, 148, 33, 20, 22, u"x", TextFlagCentre);
    StringGadget(GadgetMaxHeight, 168, 30, 50, 24, u"8192", StringFlagNumeric);
    TextGadget(GadgetQualityLabel, 10, 33, 85, 22, u"Jpeg quality", 0);
    ComboBoxGadget(GadgetQuality, 10, 30, 100, 24, 0);
    AddGadgetItem(GadgetQuality, -1, u"Medium");
    AddGadgetItem(GadgetQuality, -1, u"High");
    EndContainer();
    SetGadgetAttribute(GadgetMaxWidth, StringAttributeMaxLength, SizeFieldMaxLength);
    SetGadgetAttribute(GadgetMaxHeight, StringAttributeMaxLength, SizeFieldMaxLength);
}

void CreateColourPanel() {
    ContainerGadget(GadgetColourPanel, 10, 0, 268, 10, 0);
    SetGadgetColor(GadgetColourPanel, GadgetColourBack, PanelBackground);
    CanvasGadget(GadgetSample, 6, 6, SampleWidth, SampleHeight, CanvasFlagBorder);
    CanvasGadget(GadgetShiftSlider, 12, 202, 244, 16, 0);
    DrawShiftSlider();
    CanvasGadget(GadgetColourField, 6, 314, 168, 96, CanvasFlagBorder);
    SpinGadget(GadgetRed, 196, 319, 60, 24, 0, 255, 0);
    SpinGadget(GadgetGreen, 196, 349, 60, 24, 0, 255, 0);
    SpinGadget(GadgetBlue, 196, 379, 60, 24, 0, 255, 0);
    SetGadgetColor(GadgetRed, GadgetColourBack, RedFieldBackground);
    SetGadgetColor(GadgetGreen, GadgetColourBack, GreenFieldBackground);
    SetGadgetColor(GadgetBlue, GadgetColourBack, BlueFieldBackground);
    ListViewGadget(GadgetPresetList, 6, 224, 256, 80, 0);
    CanvasGadget(GadgetStopStrip, 6, 426, 168, 20, 0);
    ButtonGadget(GadgetStopButton, 6, 224, 256, 80, u"");
    CanvasGadget(GadgetThumbnail, 6, 314, ThumbnailWidth, ThumbnailHeight, 0);
    ImageGadget(GadgetHelpButton, 208, 424, 24, 24, ImagePlatformHandle(ImageHelpIcon), 0);
    ImageGadget(GadgetAboutButton, 234, 424, 24, 24, ImagePlatformHandle(ImageInfoIcon), 0);
    EndContainer();
}

} // namespace

int OpenMainWindow() {
    if (!OpenAppWindow(WindowMain, KeepValue, KeepValue, MainWindowWidth, MainWindowHeight,
                       u"Tintwell",
                       WindowFlagInvisible | WindowFlagResizable | WindowFlagMinimiseButton |
                           WindowFlagCentred,
                       -1)) {
        return 0;
    }
    SetWindowSizeLimits(WindowMain, MainWindowWidth, MainWindowHeight, KeepValue, KeepValue);

    EditorGadget(GadgetLog, 0, 0, 10, 10, EditorFlagReadOnly);
    SetGadgetColor(GadgetLog, GadgetColourFront, LogText);
    SetGadgetColor(GadgetLog, GadgetColourBack, LogBackground);
    CanvasGadget(GadgetDropBanner, 10, 10, 319, 25, 0);
    DrawDropBanner();
    CreateOutputPanel();
    CreateColourPanel();
    return 1;
}

void LayoutMainWindow() {
    int w = WindowInnerWidth(WindowMain);
    int h = WindowInnerHeight(WindowMain);
    int p = w - 290; // width of the left area
    ResizeGadget(GadgetColourPanel, w - 268, KeepValue, KeepValue, h);
    ResizeGadget(GadgetOutputPanel, 6, h - 74, p, 68);
    ResizeGadget(GadgetLog, 6, 6, p, h - 90);
    ResizeGadget(GadgetDropBanner, FloorDiv(p, 2) - 154, FloorDiv(h - 90, 4), 319, 25);
    ResizeGadget(GadgetOutputFolder, KeepValue, KeepValue, p - 144, KeepValue);
    ResizeGadget(GadgetChooseFolder, p - 40, KeepValue, KeepValue, KeepValue);
    ResizeGadget(GadgetQualityLabel, p - 186, KeepValue, KeepValue, KeepValue);
    ResizeGadget(GadgetQuality, p - 100, KeepValue, KeepValue, KeepValue);
}

void SetBusyMode(int busy) {
    if (busy & 1) {
        for (int64_t gadget : EditingGadgets) HideGadget(gadget, 1);
        SetGadgetText(GadgetStopButton, u"STOP CONVERSION");
        DisableGadget(GadgetStopButton, 0);
        if (OpenDrawTarget(CanvasTarget(GadgetThumbnail))) {
            FillRect(0, 0, TargetWidth(), TargetHeight(), ThumbnailBackground);
            CloseDrawTarget();
        }
        HideGadget(GadgetStopButton, 0);
        HideGadget(GadgetThumbnail, 0);
    } else {
        for (int64_t gadget : EditingGadgets) HideGadget(gadget, 0);
        HideGadget(GadgetStopButton, 1);
        HideGadget(GadgetThumbnail, 1);
    }
}

void ScrollLogToEnd() {
    ScrollEditorToEnd(GadgetLog);
}

void FillPresetList() {
    for (int row = 0; row < PresetRowCount && PresetTable.rows[row].name[0] != 0; row++) {
        AddGadgetItem(GadgetPresetList, -1, PresetName(row));
    }
}
