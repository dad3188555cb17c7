#include "app/about_window.h"

#include "app/commands.h"
#include "app/window_numbers.h"
#include "resources/version.h"
#include "runtime/base/text.h"
#include "runtime/image/images.h"
#include "runtime/ui/toolkit.h"

namespace {

constexpr int AboutWidth = 260, AboutHeight = 320;

// Paragraphs of the credits, each followed by an empty line.
const char16_t *const CreditParagraphs[] = {
    u"Credits:",
    u"Program icon drawn for Tintwell by Quillcraft.",
    u"~",
    u"Acknowledgements:",
    u"JPEG files are read and written with libjpeg-turbo. This software is based in part on the "
    u"work of the Independent JPEG Group.",
    u"PNG files are read and written with libpng, Copyright (c) the PNG Reference Library "
    u"Authors.",
};

} // namespace

String AboutCreditsText() {
    String text;
    for (const char16_t *paragraph : CreditParagraphs) text += String(paragraph) + u"\n\n";
    return text;
}

void OpenAboutWindow() {
    if (WindowExists(WindowAbout)) {
        ActivateWindow(WindowAbout);
        return;
    }
    if (!OpenAppWindow(WindowAbout, KeepValue, KeepValue, AboutWidth, AboutHeight, u"",
                       WindowFlagInvisible | WindowFlagCentredOnParent, -1))
        return;
    if (MainWindowIsSticky()) ToggleSticky(WindowAbout);
    // The 192 x 192 icon shown at 96 x 96, so it stays sharp on dense screens.
    ImageGadget(GadgetAboutIcon, 82, 16, 96, 96, ImagePlatformHandle(ImageAppIcon), 0);
    SetImageGadgetDisplaySize(GadgetAboutIcon, 96, 96);
    StopControlDrops(GadgetAboutIcon);
    TextGadget(-1, 0, 120, AboutWidth, 20, u"Tintwell " + StringFromUtf8(TintwellVersion),
               TextFlagCentre);
    TextGadget(-1, 0, 140, AboutWidth, 20, u"Copyright \u00A9 2026 Quillcraft", TextFlagCentre);
    TextGadget(-1, 0, 160, AboutWidth, 20, u"Distributed by Quillcraft", TextFlagCentre);
    EditorGadget(GadgetAboutText, 10, 190, 240, 120, EditorFlagReadOnly | EditorFlagWordWrap);
    SetGadgetText(GadgetAboutText, AboutCreditsText());
    AddShortcut(WindowAbout, ShortcutEscape, ItemCloseWindow);
    SetWindowHidden(WindowAbout, 0);
    ActivateWindow(WindowAbout);
}
