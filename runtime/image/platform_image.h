// The image runtime's only contact with the window system's image classes,
// implemented in platform_qt.cpp (the one file of this folder that sees Qt).
// The handles are opaque here; the toolkit knows a handle is a QImage*.
// Callable from any thread (a QImage over plain memory is not tied to a thread).
#pragma once

// A displayable view (QImage, Format_RGBA8888) of width x height pixels at
// `pixels` with pitch width x 4. The memory stays owned by the caller and must
// outlive the view. nullptr when it cannot be made.
void *NewPlatformImage(unsigned char *pixels, int width, int height);
void FreePlatformImage(void *handle);
// Tells the view that its pixels were changed behind its back, so nothing that
// caches a rendering of it shows the old content.
void TouchPlatformImage(void *handle);
