#include "app/help_window.h"

#include "app/commands.h"
#include "app/window_numbers.h"
#include "resources/help_text.h"
#include "runtime/ui/rich_text.h"
#include "runtime/ui/toolkit.h"

namespace {

constexpr int HelpWidth = 520, HelpHeight = 350;
constexpr int HelpMinWidth = 300, HelpMinHeight = 200;
constexpr int HelpMargin = 10;

} // namespace

void OpenHelpWindow() {
    if (WindowExists(WindowHelp)) {
        ActivateWindow(WindowHelp);
        return;
    }
    if (!OpenAppWindow(WindowHelp, KeepValue, KeepValue, HelpWidth, HelpHeight, u"Tintwell help",
                       WindowFlagInvisible | WindowFlagResizable | WindowFlagMinimiseButton |
                           WindowFlagCentredOnParent,
                       -1))
        return;
    if (MainWindowIsSticky()) ToggleSticky(WindowHelp);
    SetWindowSizeLimits(WindowHelp, HelpMinWidth, HelpMinHeight, KeepValue, KeepValue);
    EditorGadget(GadgetHelpText, HelpMargin, HelpMargin, HelpWidth - 2 * HelpMargin,
                 HelpHeight - 2 * HelpMargin, EditorFlagReadOnly | EditorFlagWordWrap);
    // A text the reader cannot decode leaves the editor empty.
    EmbeddedData text = HelpTextData();
    LoadRichText(GadgetHelpText, text.bytes, text.size);
    BindWindowEvent(EventSizeWindow, LayoutHelpWindow, WindowHelp);
    AddShortcut(WindowHelp, ShortcutControl | 'S', ItemToggleSticky);
    AddShortcut(WindowHelp, ShortcutEscape, ItemCloseWindow);
    SetWindowHidden(WindowHelp, 0);
    ActivateWindow(WindowHelp);
}

void LayoutHelpWindow() {
    ResizeGadget(GadgetHelpText, KeepValue, KeepValue,
                 WindowInnerWidth(WindowHelp) - 2 * HelpMargin,
                 WindowInnerHeight(WindowHelp) - 2 * HelpMargin);
}
