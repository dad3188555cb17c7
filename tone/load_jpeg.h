// The JPEG loader's rules: how a JPEG is brought into the maximum box (decoded
// already reduced by the decoder's own eighth-scales, then a smooth resize for
// the rest), the memory that takes, and the file's EXIF orientation; and the
// loader itself, the JPEG reader of picture_source.h alone.
//
// Maximum box: maxWidth x maxHeight applies to the picture as shown upright; a
// value below 1 (or above the largest image side, 32767) limits that direction
// to 32767 only, so every picture ends up in a size an image can hold.
//
// Any thread. The image runtime must have been started.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstddef>
#include <cstdint>

// An image (automatic number) of the picture as stored, scaled into the box, or
// 0 when the file is not a JPEG the decoder reads (the caller may then try the
// platform reader). A JPEG that is refused for good (its data ends before its
// last row, or decoding it would take more than its memory share) answers 0
// with the reason set (failure_reason.h), and no other reader is to try it.
// On success *orientation (when given) receives the low 8 bits of the EXIF
// orientation, 0 when the file has none. An ICC profile is not read.
int64_t LoadJpegScaled(const String &path, int64_t maxWidth, int64_t maxHeight,
                       int *orientation = nullptr);

// How LoadJpegScaled brings a w x h JPEG (as stored, with the box already turned
// for its orientation) into the box: decoded at scale/8 as decodedWidth x
// decodedHeight, then resized to width x height where those differ. The scale is
// the one TurboJPEG picks for that decoded size.
struct JpegScalePlan {
    int scale;
    int64_t decodedWidth, decodedHeight, width, height;
};
JpegScalePlan PlanJpegScale(int64_t w, int64_t h, int64_t maxWidth, int64_t maxHeight);

// The most memory bringing the JPEG in `data` into the box by `plan` holds at
// once: the file, the decoder's coefficients, the decoded picture and the
// resize. The loader refuses a file whose count is over the picture's share
// (memory_budget.h), before decoding it.
int64_t JpegLoadingBytes(const unsigned char *data, size_t length, const JpegScalePlan &plan);

// The EXIF orientation tag (normally 1..8) of a JPEG held in memory, 0 when the
// first APP1 segment is not EXIF, carries no orientation, or anything read from
// the data points outside it.
int ReadJpegOrientation(const unsigned char *data, size_t length);

// min(maxWidth / width, maxHeight / height), a maximum below 1 counting as
// 2147483647 (no limit).
double FitRatio(int64_t width, int64_t height, int64_t maxWidth, int64_t maxHeight);

// Box side for a requested maximum: values below 1 and above 32767 become 32767.
int64_t BoxSide(int64_t maximum);

// One side scaled by r and rounded to the nearest integer with halves to even;
// never below 1, so a very long thin picture keeps at least one pixel across.
int64_t ScaledSideHalfEven(int64_t side, double r);
// The same rounded with halves away from zero: the size a picture other than a
// JPEG takes in the box.
int64_t ScaledSideAwayFromZero(int64_t side, double r);
