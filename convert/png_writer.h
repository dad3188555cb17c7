// The streamed PNG writer for a picture of more than one piece (png_pieces.h):
// while the caller fills the picture's rows in order, a writing thread already
// compresses the pieces whose rows are there, over both cores, into the output
// draft. The file is byte for byte the one SavePng writes of the same picture.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

struct PngStream;

// A draft for the output `name` and the writing thread over the R, G, B, A rows
// at `pixels` (pitch width x 4), which stay the caller's until the stream ends;
// nullptr when the draft, the memory or the thread cannot be had.
PngStream *StartPngStream(const String &name, const unsigned char *pixels, int64_t width,
                          int64_t height);
// The first `rows` rows are in place.
void PngRowsArrived(PngStream *stream, int64_t rows);
// Ends the stream and frees it, as EndJpegStream does: with `place` (every row
// arrived), the complete draft moved to `*name` or its stamped alternative: 1;
// otherwise, or on a failure or stop, the draft dropped: 0 with errno.
int EndPngStream(PngStream *stream, bool place, String *name);
