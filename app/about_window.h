// The About window (WindowAbout): icon, name, version and credits. Main thread only.
#pragma once

// Opens the About window over the main window.
void OpenAboutWindow();
