// The platform picture reader: every picture format the installed Qt image
// plug-ins know (PNG, TIFF, WebP, BMP, GIF, ...), for files the program does not
// decode itself. Qt stays inside platform_reader.cpp.
//
// Pictures are read as stored: an EXIF orientation in the file is not applied
// and not reported. Sizes are pixels of the file, whatever resolution it states.
// Callable from any thread (it touches no window).
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

struct PlatformPicture; // a decoded picture, opaque outside the reader

// Reads and decodes the whole file; nullptr when no plug-in can read it.
PlatformPicture *ReadPlatformPicture(const String &path);
int64_t PlatformPictureWidth(const PlatformPicture *picture);
int64_t PlatformPictureHeight(const PlatformPicture *picture);

// Draws the whole picture smoothly scaled to width x height into 4-byte R, G, B, A
// memory (`pitch` bytes per row, top row first), replacing what was there, and
// leaves straight (not premultiplied) colour behind. 1 on success.
int DrawPlatformPicture(const PlatformPicture *picture, unsigned char *pixels, int64_t width,
                        int64_t height, int64_t pitch);

void FreePlatformPicture(PlatformPicture *picture);
