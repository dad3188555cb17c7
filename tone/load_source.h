// Loading any picture the program tones, already brought down to a maximum box:
// JPEG files through the program's own JPEG loader, everything else (and JPEGs
// that loader refuses) through the platform picture reader. Also turning a
// picture upright by its EXIF orientation.
//
// The box is as in load_jpeg.h: a value below 1 limits nothing in that direction
// (beyond the largest image side, 32767).
// Runs on the worker during a conversion and on the main thread otherwise, never
// on both at once (the JPEG decompressor is shared).
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

struct LoadedImage {
    int64_t image = 0;     // automatic image number, 0 when both loaders failed
    int orientation = 0;   // EXIF orientation of a JPEG source, 0 when none
    bool fromJpeg = false; // true when the JPEG loader read it (saved as JPEG)
};

// LoadJpegScaled first, then LoadImageViaPlatform (orientation 0), unless the
// JPEG loader refused the file for good (the reason is then set).
LoadedImage LoadSourceImage(const String &path, int64_t maxWidth, int64_t maxHeight);

// Any picture the platform reader knows, scaled by FitRatio into the box (each
// side rounded with halves away from zero, at least 1 pixel), straight alpha,
// turned upright when the file states an orientation (the box applies to the
// upright picture). An image (automatic number) or 0; a picture over its memory
// share answers 0 with the reason set (failure_reason.h).
int64_t LoadImageViaPlatform(const String &path, int64_t maxWidth, int64_t maxHeight);

// For orientations 2..8 a new image (automatic number) with the picture turned
// upright; the old image is freed whether this succeeds or not, so the caller
// must not free it again. Orientations 0, 1 and values above 8 (not defined for
// EXIF) give the image back unchanged. 0 on failure.
int64_t OrientUpright(int64_t image, int orientation);

// On the open path output: turns and mirrors the coordinate system about the
// origin as orientation 2..8 asks (other values: nothing), the same turn that
// OrientUpright applies.
void PathOrientAboutOrigin(int orientation);
