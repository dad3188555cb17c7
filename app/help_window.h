// The help window (WindowHelp) with the compiled-in help text. Main thread only.
#pragma once

// Opens the help window centred over the main window (floating when the main
// window is), or brings the open one to the front.
void OpenHelpWindow();
// The size handler: the text follows the window with a 10-pixel margin.
void LayoutHelpWindow();
