// The main window: opening it with its 25 gadgets, the layout that runs on every
// resize, the idle and busy looks of the colour panel, the preset list rows and
// the log's scrolling. Main thread only.
#pragma once

// Division rounding toward minus infinity, as the layout needs for negative sizes.
inline int FloorDiv(int a, int b) {
    int q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Opens WindowMain hidden (740 x 464 inner, that also being its minimum size) and
// creates every gadget with its first texts, colours and ranges. 0 when the
// window cannot be opened (then no gadget is made).
int OpenMainWindow();
// Places the gadgets that depend on the window's inner size.
void LayoutMainWindow();
// Bit 0 set: the busy look (editing controls hidden, STOP button and thumbnail
// shown); clear: the idle look.
void SetBusyMode(int busy);
// Makes the end of the log text visible.
void ScrollLogToEnd();
// One list row per preset table row, up to the row whose name starts with 0.
void FillPresetList();
