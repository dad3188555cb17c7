// How the program presents itself to the desktop: its shown name, the desktop
// entry it belongs to and the icon of its windows. Main thread only, after
// StartToolkit.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// `name` becomes the application's name: the application menu's title and its
// "Quit <name>" item, the title of message boxes and the class part of X11's
// WM_CLASS (the instance part stays the executable's name). `desktopId` is the
// desktop entry's file name without ".desktop"; it is the Wayland app id and
// ties the windows to the launcher. `icon` (an image's platform handle,
// ImagePlatformHandle; 0 for none) becomes the icon of every window.
void SetProgramIdentity(const String &name, const String &desktopId, int64_t icon);
