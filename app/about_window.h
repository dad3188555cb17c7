// The About window (WindowAbout): icon, name, version and credits. Main thread only.
#pragma once

#include "runtime/base/string_scratch.h"

// Opens the About window centred over the main window (floating when the main
// window is), or brings the open one to the front.
void OpenAboutWindow();
// The credits: each paragraph followed by an empty line.
String AboutCreditsText();
