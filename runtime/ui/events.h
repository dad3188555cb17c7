// The application's event queue: fetching events on the main thread, posting
// custom events from any thread, the current event and the bindings of routines
// to events.
//
// Events queued by the toolkit itself (gadgets, windows, menus, shortcuts,
// timers, drops) run their bound routine at once, when they are queued, on the
// main thread; events posted with PostAppEvent run theirs when they are fetched.
// While a bound routine runs, the event it was bound to is the current event.
// An event the toolkit queues that equals the last event still waiting in the
// queue (same code, window, object and type) is not queued twice (its routine
// still runs); events that carry data (drops), custom events (65536 and up) and
// posted events are never merged.
//
// PostAppEvent may be called from any thread; everything else is main thread only.
#pragma once

#include <cstdint>

// Event codes.
constexpr int EventMenu = 1; // menu item or keyboard shortcut; object = item id
constexpr int EventCloseWindow = 2;
constexpr int EventGadget = 3; // object = gadget number, type = kind of gadget event
constexpr int EventRepaint = 4;
constexpr int EventMoveWindow = 5;
constexpr int EventSizeWindow = 6;
constexpr int EventActivateWindow = 7;
constexpr int EventDeactivateWindow = 8;
constexpr int EventWindowDrop = 10; // object = window number; drop record current
constexpr int EventGadgetDrop = 11; // object = gadget number; drop record current
constexpr int EventMinimiseWindow = 12;
constexpr int EventRestoreWindow = 14;
constexpr int EventTimer = 15;      // object = timer id
constexpr int EventRightClick = 16; // in the window background
constexpr int EventLeftClick = 18;
constexpr int EventFirstCustom = 65536;

// Kinds of gadget events (the type of event 3).
constexpr int64_t GadgetEventLeftClick = 0;  // button, image, canvas, list view, scroll area
constexpr int64_t GadgetEventRightClick = 1; // image, canvas
constexpr int64_t GadgetEventFocus = 0x100;  // string, combo box, editor got the focus
constexpr int64_t GadgetEventLostFocus = 0x200;
constexpr int64_t GadgetEventChange = 0x300; // the user changed string, spin, combo, list, editor
constexpr int64_t GadgetEventMouseEnter = 0x10001; // canvas events from here
constexpr int64_t GadgetEventMouseLeave = 0x10002;
constexpr int64_t GadgetEventMouseMove = 0x10003; // with or without a button held
constexpr int64_t GadgetEventLeftButtonDown = 0x10004;
constexpr int64_t GadgetEventLeftButtonUp = 0x10005;
constexpr int64_t GadgetEventRightButtonDown = 0x10006;
constexpr int64_t GadgetEventRightButtonUp = 0x10007;
constexpr int64_t GadgetEventMiddleButtonDown = 0x10008;
constexpr int64_t GadgetEventMiddleButtonUp = 0x10009;
constexpr int64_t GadgetEventMouseWheel = 0x1000A;

// Application menu items.
constexpr int64_t MenuItemPreferences = -2;
constexpr int64_t MenuItemAbout = -3;
constexpr int64_t MenuItemQuit = -4;

// A bound routine reads what it needs from the current event.
using EventRoutine = void (*)();

// Waits without limit for the next event and returns its code.
int WaitForEvent();
// Returns the next event's code, or 0 at once when none is pending.
int PollEvent();
// Waits at most timeoutMs milliseconds (> 0); 0 when nothing arrived.
int WaitForEventFor(int64_t timeoutMs);

// The current event: the one last fetched, or the one whose bound routine runs.
int EventCode();
int64_t EventWindowNumber();
int64_t EventObject();  // gadget, menu item, timer id or, for event 10, the window
int64_t EventKind();    // the type (sub-code)
int64_t EventPayload(); // the data

// Appends a custom event (any code, 65536 and up by convention); never merged;
// wakes a waiting WaitForEvent. Callable from any thread; 0 when memory runs out.
int PostAppEvent(int event, int64_t window, int64_t object, int64_t type, int64_t data);

// Calls the routine for the gadget's events of that type (-1: every type).
void BindControlEvent(int64_t gadget, EventRoutine routine, int64_t type = -1);
// Calls the routine for events of that code in that window (-1: any) about that
// object (-1: any). Where several bindings match an event, only the most
// specific runs. Keys (window, object, type) are tried in this order, -1 meaning
// left open: (w, o, t), (-1, o, t), (w, o, -1), (-1, o, -1), (w, -1, t),
// (-1, -1, t), (w, -1, -1), (-1, -1, -1): the object counts most, then the type,
// then the window.
void BindWindowEvent(int event, EventRoutine routine, int64_t window = -1, int64_t object = -1);
void UnbindControlEvent(int64_t gadget, int64_t type = -1);
void UnbindWindowEvent(int event, int64_t window = -1, int64_t object = -1);
