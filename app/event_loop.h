// The main thread's event loop: routing each fetched event (worker status,
// drops, menu items and shortcuts, close requests) and the orderly quit that
// waits for a running conversion. Gadget, size and timer events are handled by
// their bound routines while the event is fetched. Main thread only.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// The borderless "PLEASE WAIT WHILE CLOSING DOWN" box while the quit sequence
// waits for the worker (a toolkit-assigned window number), else 0.
extern int64_t QuitWaitWindow;

// Handles one event the way the loop does, given the code WaitForEvent or
// PollEvent returned for it. 0 when it ran the quit sequence (the loop ends),
// else 1.
int DispatchEvent(int code);

// Waits for events and dispatches them until the quit sequence has finished.
void RunEventLoop();

// The event loop without anyone at the screen, for CI's memory check: sets the
// output folder, drops `pictures` (LF-joined paths) on the log as a user would,
// dispatches events until that run has ended (or was refused), then runs the
// quit sequence as closing the main window does.
void ConvertDropAndQuit(const String &outputFolder, const String &pictures);

// Requests the worker to stop, saves the settings and, while the worker lives,
// shows the closing-down box and waits for it in 100 ms slices, still running
// the bound handlers of events that arrive.
void RunQuitSequence();
