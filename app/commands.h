// The main window's keyboard commands (menu items 95..108), the stay-on-top
// toggle and the tone refresh every stop edit ends with. Main thread only.
#pragma once

#include <cstdint>

// After a change of CurrentStops: rebuild the colour table, show the selected
// stop in the fields, redraw the strip and the sample.
void ToneRefresh();

// Adds the Control-key shortcuts of the commands to WindowMain.
void AddMainShortcuts();

// Runs the command of a menu item or shortcut raised in `window`. The commands
// that change the tone do nothing while a conversion runs.
void RunMenuCommand(int64_t item, int64_t window);

// Puts the window above normal windows with "· " before its title, or takes it
// back to the normal level and title.
void ToggleSticky(int64_t window);
// 1 when the main window's title begins with U+00B7, else 0.
int MainWindowIsSticky();
