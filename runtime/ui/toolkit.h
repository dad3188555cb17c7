// Start and end of the window and gadget toolkit, and the one header that brings
// in all of its parts. Main thread only.
#pragma once

#include "runtime/ui/clipboard.h"
#include "runtime/ui/drops.h"
#include "runtime/ui/events.h"
#include "runtime/ui/gadgets.h"
#include "runtime/ui/menus.h"
#include "runtime/ui/pointer.h"
#include "runtime/ui/program_identity.h"
#include "runtime/ui/quit_signals.h"
#include "runtime/ui/requesters.h"
#include "runtime/ui/screen_colour.h"
#include "runtime/ui/windows.h"

// Creates the application object if there is none (argc/argv may be 0/nullptr),
// installs the canvas resolver of the image runtime, the application menu and the
// refusal of the desktop's quit requests. Returns 1, 0 on failure. The calling
// thread becomes the main thread.
int StartToolkit(int argc, char **argv);

// Gives the quit signals back, closes every window, frees gadgets, menus, timers and queued events,
// and deletes the application object if StartToolkit made it.
void EndToolkit();
