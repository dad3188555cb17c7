// Window menus and the application menu, keyboard shortcuts and window timers.
// Main thread only.
//
// The application menu is made at start-up: a menu titled with the executable's
// file name (the program's name once SetProgramIdentity gives it) holding
// "About <name>" (item -3), "Preferences..." (item -2), both disabled until
// AddMenuEntry names them, and "Quit <name>" (item -4), whose Control+Q works in
// every window of the program. It appears in the menu bar of every window that
// gets a menu. A request of the
// desktop session to end the program is refused and becomes item -4 (window -1),
// so the application decides itself when to end.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// Gives the window (its platform handle, WindowPlatformHandle) a menu bar with
// the application menu; it becomes the menu AddMenuEntry appends to. Returns the
// menu bar (QMenuBar*) for a static number, the assigned number for -1, 0 on failure.
int64_t CreateWindowMenu(int64_t menu, int64_t windowHandle);

// Appends an entry that sends event 1 with the id to the current menu. The ids -2
// and -3 instead enable the Preferences and About entries of the application
// menu and give them the text.
void AddMenuEntry(int64_t id, const String &text);

// Shortcut values: a key code (upper-case letter or digit, as 'G' or '1') plus
// modifier bits.
constexpr int64_t ShortcutControl = 0x10000;
constexpr int64_t ShortcutShift = 0x20000;
constexpr int64_t ShortcutAlt = 0x40000;
// The Escape key, as a shortcut's key code.
constexpr int64_t ShortcutEscape = 0x1B;

// While the window is active, a key press matching the shortcut sends event 1
// with the id (window = that window) instead of reaching the focused gadget. An
// existing shortcut with the same keys is replaced. The standard editing keys
// (cut, copy, paste, undo, redo, select all) stay with a focused text field.
void AddShortcut(int64_t window, int64_t shortcut, int64_t id);
void RemoveShortcut(int64_t window, int64_t shortcut);

// A repeating timer sending event 15 (object = timer id) every milliseconds; an
// existing timer with the same id in that window is replaced.
void StartWindowTimer(int64_t window, int64_t timer, int milliseconds);
void StopWindowTimer(int64_t window, int64_t timer);
