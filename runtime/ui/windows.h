// Numbered application windows: opening, closing, size, caption, visibility,
// size limits, the input-swallowing disabled state and the floating level.
//
// A window number is either chosen by the program (0 and up) or -1 to have the
// toolkit assign one. Operations on a number that names no window do nothing and
// answer 0 (an empty string for the caption). Main thread only.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// OpenAppWindow flags. A window that is not borderless has a title bar and a
// close button; a window that is neither resizable nor maximisable keeps its size.
constexpr int64_t WindowFlagInvisible = 0x01;
constexpr int64_t WindowFlagResizable = 0x02;
constexpr int64_t WindowFlagMaximiseButton = 0x10; // also resizable
constexpr int64_t WindowFlagMinimiseButton = 0x20;
constexpr int64_t WindowFlagCentred = 0x40; // on the screen; implied by x or y = -65535
constexpr int64_t WindowFlagBorderless = 0x80;
constexpr int64_t WindowFlagCentredOnParent = 0x100; // over the parent, else the active window
constexpr int64_t WindowFlagMaximised = 0x200;       // also resizable
constexpr int64_t WindowFlagMinimised = 0x400;
constexpr int64_t WindowFlagNoGadgetList = 0x1000;
constexpr int64_t WindowFlagNoActivate = 0x2000;

// "Leave unchanged" for SetWindowSizeLimits and ResizeGadget, "centre" for the
// position of OpenAppWindow.
constexpr int KeepValue = -65535;

// Opens a window whose content area is width x height at x, y (top-left of the
// window on the screen). A parent (a window number, -1 for none) makes it a child
// window that stays above its parent. Unless WindowFlagNoGadgetList is given the
// window's content becomes the current gadget list. Returns the platform window
// (QWidget*) for a static number, the assigned number for -1, 0 on failure.
int64_t OpenAppWindow(int64_t window, int x, int y, int width, int height, const String &title,
                      int64_t flags, int64_t parent);

// Closes the window (-1: every window) with its gadgets, timers and shortcuts.
// If it was the active window, the previously active visible window becomes
// active again.
void CloseAppWindow(int64_t window);

int WindowExists(int64_t window);
int64_t WindowPlatformHandle(int64_t window); // the top-level QWidget*
int WindowInnerWidth(int64_t window);         // content area, without any menu bar
int WindowInnerHeight(int64_t window);
String WindowCaption(int64_t window);
void SetWindowCaption(int64_t window, const String &title);
void SetWindowHidden(int64_t window, int hide);
void ActivateWindow(int64_t window);

// Colour 0xBBGGRR, or -1 for the standard window background.
void SetWindowBackground(int64_t window, int64_t colour);

// Content-area limits; KeepValue leaves a value as it is. A window smaller than
// the new minimum grows to it.
void SetWindowSizeLimits(int64_t window, int minWidth, int minHeight, int maxWidth, int maxHeight);

// State 1 lays a translucent layer over the content that swallows mouse and key
// input (the window still shows its gadgets); 0 removes it.
void SetWindowDisabled(int64_t window, int state);

// State 1 keeps the window above normal windows; 0 returns it to the normal level.
void SetWindowFloating(int64_t window, int state);

// Resizes the window's content area (KeepValue keeps a side); the size limits hold.
void ResizeAppWindow(int64_t window, int width, int height);
