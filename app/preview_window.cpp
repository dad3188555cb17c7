#include "app/preview_window.h"

#include "app/colour_panel.h"
#include "app/commands.h"
#include "app/input_collection.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "runtime/base/numbers.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/ui/toolkit.h"
#include "tone/kernels.h"
#include "tone/load_source.h"

#include <algorithm>
#include <cstdlib>

int64_t PreviewImage = 0;
uint16_t *PreviewLuminance = nullptr;
void *(*ResizePreviewBuffer)(void *block, size_t bytes) = std::realloc;

namespace {

constexpr int PreviewWidth = 300, PreviewHeight = 200;
constexpr int PreviewMinWidth = 150, PreviewMinHeight = 100;
constexpr int PreviewIconSide = 96;
constexpr int PreviewScrollStep = 16;

int8_t CurrentShift() {
    return int8_t(std::clamp(ToneShift, -ToneShiftLimit, ToneShiftLimit));
}

// Gives PreviewLuminance room for every pixel slot of `image`; on failure the
// old buffer stays as it was and 0 is answered.
int FitLuminanceTo(int64_t image) {
    if (!OpenDrawTarget(ImageTarget(image))) return 0;
    size_t slots = size_t(LuminanceSlotsPerRow(TargetPitch(), TargetLayout())) *
                   size_t(std::max<int64_t>(TargetHeight(), 0));
    CloseDrawTarget();
    void *grown = ResizePreviewBuffer(PreviewLuminance, std::max<size_t>(slots, 1) * 2);
    if (!grown) return 0;
    PreviewLuminance = static_cast<uint16_t *>(grown);
    return 1;
}

// Takes the luminance of `image` into PreviewLuminance and tones the picture
// from it, in one drawing session on the image.
void TakeLuminanceAndTone(int64_t image) {
    if (!OpenDrawTarget(ImageTarget(image))) return;
    ComputeLuminance(TargetPixels(), PreviewLuminance, TargetPitch(), TargetHeight(),
                     TargetLayout());
    ApplyTone(PreviewLuminance, TargetPixels(), TargetPitch(), TargetHeight(), TargetLayout(),
              CurrentShift());
    CloseDrawTarget();
}

// The image button shows the picture at its own size, and the scroll area's
// inner size is the picture's (upright) size.
void ShowPreviewPicture() {
    int w = int(ImagePixelWidth(PreviewImage)), h = int(ImagePixelHeight(PreviewImage));
    SetGadgetState(GadgetPreviewImage, ImagePlatformHandle(PreviewImage));
    ResizeGadget(GadgetPreviewImage, 0, 0, w, h);
    SetGadgetAttribute(GadgetPreviewScroll, ScrollAttributeInnerWidth, w);
    SetGadgetAttribute(GadgetPreviewScroll, ScrollAttributeInnerHeight, h);
    LayoutPreview();
}

} // namespace

void OpenPreview() {
    if (WindowExists(WindowPreview)) {
        String title = WindowCaption(WindowPreview);
        bool marked = !title.empty() && title[0] == u'\u00B7';
        if (MainWindowIsSticky() && !marked) ToggleSticky(WindowPreview);
        ActivateWindow(WindowPreview);
        return;
    }
    int64_t picture = DuplicateImage(ImageAppIcon, -1);
    if (!picture) return;
    ScaleImage(picture, PreviewIconSide, PreviewIconSide);
    if (!OpenAppWindow(WindowPreview, KeepValue, KeepValue, PreviewWidth, PreviewHeight,
                       u"Tintwell - Preview",
                       WindowFlagInvisible | WindowFlagResizable | WindowFlagMinimiseButton |
                           WindowFlagMaximiseButton | WindowFlagCentredOnParent,
                       -1)) {
        ReleaseImage(picture);
        return;
    }
    PreviewImage = picture;
    // Like the help and About windows, the preview floats when the main window does.
    if (MainWindowIsSticky()) ToggleSticky(WindowPreview);
    SetWindowSizeLimits(WindowPreview, PreviewMinWidth, PreviewMinHeight, KeepValue, KeepValue);
    ScrollAreaGadget(GadgetPreviewScroll, 0, 0, PreviewWidth, PreviewHeight, 0, 0,
                     PreviewScrollStep, 0);
    ImageGadget(GadgetPreviewImage, 0, 0, 0, 0, 0, 0);
    EndContainer();
    // Pictures dropped anywhere on the preview go to the window, not the button.
    StopControlDrops(GadgetPreviewImage);
    AcceptControlDrops(GadgetPreviewScroll, DropTypeFiles, DropActionCopy);
    AcceptWindowDrops(WindowPreview, DropTypeFiles, DropActionCopy);
    BindControlEvent(GadgetPreviewImage, RefreshPreview, GadgetEventLeftClick);
    BindControlEvent(GadgetPreviewScroll, RefreshPreview, GadgetEventLeftClick);
    BindWindowEvent(EventLeftClick, RefreshPreview, WindowPreview);
    BindWindowEvent(EventSizeWindow, LayoutPreview, WindowPreview);
    AddShortcut(WindowPreview, ShortcutControl | 'S', ItemToggleSticky);
    AddShortcut(WindowPreview, ShortcutEscape, ItemCloseWindow);
    if (FitLuminanceTo(PreviewImage)) TakeLuminanceAndTone(PreviewImage);
    ShowPreviewPicture();
    SetWindowHidden(WindowPreview, 0);
    ActivateWindow(WindowPreview);
}

void RefreshPreview() {
    if (!WindowExists(WindowPreview) || !ImageExists(PreviewImage) || !PreviewLuminance) return;
    if (!OpenDrawTarget(ImageTarget(PreviewImage))) return;
    ApplyTone(PreviewLuminance, TargetPixels(), TargetPitch(), TargetHeight(), TargetLayout(),
              CurrentShift());
    CloseDrawTarget();
    SetGadgetState(GadgetPreviewImage, ImagePlatformHandle(PreviewImage));
}

void LoadPreviewImage() {
    if (IsConversionRunning()) {
        RefuseWhileProcessing();
        return;
    }
    LoadedImage loaded =
        LoadSourceImage(DroppedPaths().front(), ParseInteger(GetGadgetText(GadgetMaxWidth)),
                        ParseInteger(GetGadgetText(GadgetMaxHeight)));
    if (!loaded.image) return;
    // OrientUpright frees the stored picture whether or not the turn succeeds.
    int64_t picture = OrientUpright(loaded.image, loaded.orientation);
    if (!picture) return;
    if (!FitLuminanceTo(picture)) {
        ReleaseImage(picture); // the picture shown stays
        return;
    }
    TakeLuminanceAndTone(picture);
    if (PreviewImage) ReleaseImage(PreviewImage);
    PreviewImage = picture;
    ShowPreviewPicture();
}

void LayoutPreview() {
    int cw = WindowInnerWidth(WindowPreview), ch = WindowInnerHeight(WindowPreview);
    int x = 0, y = 0, horizontal = 1, vertical = 1;
    if (ImageExists(PreviewImage)) {
        int w = int(ImagePixelWidth(PreviewImage)), h = int(ImagePixelHeight(PreviewImage));
        if (w < cw) x = (cw - w) >> 1, cw = w, horizontal = 0;
        if (h < ch) y = (ch - h) >> 1, ch = h, vertical = 0;
    }
    ResizeGadget(GadgetPreviewScroll, x, y, cw, ch);
    SetScrollAreaBars(GadgetPreviewScroll, horizontal, vertical);
}

void ReleasePreviewPicture() {
    if (PreviewImage) ReleaseImage(PreviewImage);
    PreviewImage = 0;
    std::free(PreviewLuminance);
    PreviewLuminance = nullptr;
}
