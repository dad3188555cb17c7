// The help window (WindowHelp) with the compiled-in help text. Main thread only.
#pragma once

// Opens the help window over the main window.
void OpenHelpWindow();
