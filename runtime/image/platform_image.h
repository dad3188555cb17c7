// The image runtime's displayable views over image memory, implemented in
// platform_qt.cpp. Qt is seen by two files of this folder: platform_qt.cpp (these
// views and the painter behind the vector drawing) and platform_reader.cpp (the
// platform picture reader).
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
