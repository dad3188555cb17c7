// Drag and drop onto windows and gadgets, and the drop record of the current
// drop event. Main thread only.
//
// A drop on a window queues event 10 (object = window number), a drop on a
// gadget event 11 (object = gadget, window = its window). The data is taken in
// the order files, image, text: a drag that offers file names is a file drop
// even when it also offers image data or text. The action answered to the
// source is always copy, so no source deletes what it dropped. Drop events are
// never merged: dropping the same files twice gives two events.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

constexpr uint32_t DropTypeFiles = 0x68667320;
constexpr uint32_t DropTypeText = 0x54455854;
constexpr uint32_t DropTypeImage = 0x50494354;
constexpr int DropActionCopy = 1;
constexpr int DropActionLink = 2;
constexpr int DropActionMove = 16;

// Accepts drops of that type on the window background or the gadget. `actions`
// is kept for the record; the answer is always copy.
void AcceptWindowDrops(int64_t window, uint32_t type, int actions);
void AcceptControlDrops(int64_t gadget, uint32_t type, int actions);

// The current drop record (zero / empty when the current event is no drop).
uint32_t DropKind();
int DropAction();
int DropX(); // drop position in the target's coordinates
int DropY();
String DroppedFileList(); // full paths joined by LF, no trailing LF; empty unless files
String DroppedText();     // empty unless text
int64_t DroppedImage();   // a QImage* valid until the next fetch; 0 unless an image

// For tests and the widgets' own drop handling: delivers a file drop of the
// LF-joined paths at x, y of the gadget (or, with gadget -1, of the window)
// through the same path a real drop takes. 0 when the target takes no files.
int DeliverFileDrop(int64_t window, int64_t gadget, const String &paths, int x, int y);
