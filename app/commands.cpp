#include "app/commands.h"

#include "app/about_window.h"
#include "app/colour_panel.h"
#include "app/preview_window.h"
#include "app/settings.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "runtime/base/numbers.h"
#include "runtime/ui/toolkit.h"
#include "tone/colour_table.h"
#include "tone/presets.h"
#include "tone/stop_edits.h"
#include "tone/stop_text.h"

namespace {

constexpr char16_t StickyMark = u'\u00B7';

int AskPasteFromClipboard() {
    return ShowMessageBox(u"Clipboard data", u"Paste from clipboard ?", MessageBoxYesNo) ==
           AnswerYes;
}

void AskStoreUserPreset(int n) {
    String question = u"Overwrite user preset " + FormatInteger(n) + u" ?";
    // The list row keeps its name; the stored stops apply when the row is chosen.
    if (ShowMessageBox(u"User presets", question, MessageBoxYesNo) == AnswerYes) {
        // Written at once: a preset stored on purpose must survive a crash.
        if (StoreUserPreset(n)) SaveSettings();
    }
}

// The colour under the pointer without its alpha byte.
uint32_t PointerColour() {
    return ScreenColourUnderPointer() & 0xFFFFFFu;
}

} // namespace

void ToneRefresh() {
    BuildColourTable(CurrentStops);
    ShowStopInFields();
    DrawStopStrip(1);
    RedrawSample();
}

void AddMainShortcuts() {
    AddShortcut(WindowMain, ShortcutControl | 'G', ItemGrabColour);
    AddShortcut(WindowMain, ShortcutControl | ShortcutShift | 'G', ItemGrabByBrightness);
    AddShortcut(WindowMain, ShortcutControl | 'S', ItemToggleSticky);
    AddShortcut(WindowMain, ShortcutControl | 'P', ItemPreview);
    AddShortcut(WindowMain, ShortcutControl | 'R', ItemRandomColour);
    for (int n = 1; n <= 8; n++) {
        AddShortcut(WindowMain, ShortcutControl | ('0' + n), ItemFirstUserPreset + n - 1);
    }
    AddShortcut(WindowMain, ShortcutControl | '9', ItemPasteStops);
}

void RunMenuCommand(int64_t item, int64_t window) {
    if (item == MenuItemAbout) {
        OpenAboutWindow();
        return;
    }
    if (item >= ItemFirstUserPreset && item <= ItemLastUserPreset) {
        AskStoreUserPreset(int(item - ItemFirstUserPreset + 1));
        return;
    }
    switch (item) {
    case ItemToggleSticky:
        ToggleSticky(window);
        return;
    case ItemPreview:
        OpenPreview();
        return;
    default:
        break;
    }
    // The rest change the tone, which the worker reads without a lock.
    if (IsConversionRunning()) return;
    switch (item) {
    case ItemGrabColour:
        SetStopColour(PointerColour());
        ToneRefresh();
        break;
    case ItemGrabByBrightness:
        PlaceColourByBrightness(PointerColour());
        ToneRefresh();
        break;
    case ItemRandomColour:
        RandomStopColour();
        ToneRefresh();
        break;
    case ItemPasteStops:
        if (PasteStopsFromText(ClipboardText(), AskPasteFromClipboard)) ToneRefresh();
        break;
    default:
        break;
    }
}

void ToggleSticky(int64_t window) {
    String title = WindowCaption(window);
    if (!title.empty() && title[0] == StickyMark) {
        SetWindowCaption(window, title.size() > 2 ? title.substr(2) : String());
        SetWindowFloating(window, 0);
    } else {
        SetWindowCaption(window, String(1, StickyMark) + u" " + title);
        SetWindowFloating(window, 1);
    }
}

int MainWindowIsSticky() {
    String title = WindowCaption(WindowMain);
    return !title.empty() && title[0] == StickyMark ? 1 : 0;
}
