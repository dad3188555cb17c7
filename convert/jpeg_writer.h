// The streamed JPEG encoder: a thread of its own compresses bands of toned rows
// as they are queued and writes them into the output draft, so encoding
// overlaps decoding. The file is byte for byte the one SaveJpeg writes of the
// same picture: libjpeg is set up as TurboJPEG sets it up for the saver, and
// the EXIF orientation block goes to the same place.
//
// TurboJPEG changes its encoder from a few environment variables, which the
// stream cannot follow: JpegStreamPossible says so, and the picture is then
// saved whole.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

struct JpegStream;

bool JpegStreamPossible();

// A draft for the output `name` and the encoding thread for a width x height
// picture; nullptr when the draft, the memory or the thread cannot be had.
JpegStream *StartJpegStream(const String &name, int64_t width, int64_t height, int64_t quality,
                            int orientation);
// The next free band of StreamBandRows rows (waits for the encoder), and
// handing it over with the rows filled in.
unsigned char *FreeJpegBand(JpegStream *stream);
void QueueJpegBand(JpegStream *stream, int64_t rows);
// Ends the stream and frees it. With `place` (every row was queued), waits for
// the encoder and moves the complete draft to `*name` or its stamped
// alternative: 1, the name used left in *name; else 0 with errno saying why.
// Without `place` (or when a stop arrives meanwhile) the draft is dropped: 0.
int EndJpegStream(JpegStream *stream, bool place, String *name);
