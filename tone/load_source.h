// Loading any picture the program tones as one image, already brought down to a
// maximum box, through the readers of picture_source.h in their order (the
// sample and the preview load this way; conversions go band by band through the
// same readers, band_pipeline.h). Also turning a picture upright by its EXIF
// orientation.
//
// The box is as in load_jpeg.h: a value below 1 limits nothing in that direction
// (beyond the largest image side, 32767).
// Any thread: every call has its own decoders.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

struct LoadedImage {
    int64_t image = 0;     // automatic image number, 0 when both loaders failed
    int orientation = 0;   // EXIF orientation of a JPEG source, 0 when none
    bool fromJpeg = false; // true when the JPEG loader read it (saved as JPEG)
};

// The file opened once and read by the first reader that takes it: a JPEG by
// the JPEG reader (the image then carries its orientation, to be written as
// JPEG), anything else, or a JPEG that reader gives up on, by libpng or the
// platform reader (orientation 0, written as PNG). On failure the reason is set
// (failure_reason.h). A picture that describes its colours (colour_profile.h)
// comes turned into sRGB, which the sample and the preview take it as; with
// `profiles` false every picture is read as sRGB.
LoadedImage LoadSourceImage(const String &path, int64_t maxWidth, int64_t maxHeight,
                            bool profiles = true);

// Any picture the platform reader knows, scaled by FitRatio into the box (each
// side rounded with halves away from zero, at least 1 pixel), straight alpha,
// turned upright when the file states an orientation (the box applies to the
// upright picture). An image (automatic number) or 0; a picture over its memory
// share answers 0 with the reason set (failure_reason.h). The picture's values
// as stored: a colour profile is not read.
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
