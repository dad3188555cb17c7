// The pixel memory behind a canvas gadget: the same layout as an image (R, G, B,
// A straight, top row first, pitch = width x 4), at least 1 x 1, opaque white when
// made. The toolkit owns one per canvas gadget and tells the drawing layer how to
// find it, so CanvasTarget can draw into a canvas without knowing about widgets.
// Main thread only (canvases are gadgets).
#pragma once

#include <cstdint>

struct CanvasBitmap {
    unsigned char *pixels = nullptr;
    int width = 0;
    int height = 0;
};

// A new bitmap of at least 1 x 1, every byte 0xFF; nullptr when memory runs out.
CanvasBitmap *NewCanvasBitmap(int width, int height);

// Replaces the bitmap by one of the new size (at least 1 x 1, white) holding the
// overlapping top-left part of the old content. Returns 0 (bitmap unchanged) when
// memory runs out.
int ResizeCanvasBitmap(CanvasBitmap *bitmap, int width, int height);

void FreeCanvasBitmap(CanvasBitmap *bitmap);

// Installed by the toolkit at start-up: how to find a canvas gadget's bitmap
// (nullptr when the gadget is not a canvas) and how to mark the gadget for
// redisplay after drawing.
using CanvasBitmapOf = CanvasBitmap *(*)(int64_t gadget);
using CanvasRedisplay = void (*)(int64_t gadget);
void SetCanvasResolver(CanvasBitmapOf bitmapOf, CanvasRedisplay redisplay);

// For the drawing layer: the installed resolver's answers (nullptr / nothing
// when no resolver is installed).
CanvasBitmap *CanvasBitmapOfGadget(int64_t gadget);
void RedisplayCanvasGadget(int64_t gadget);
