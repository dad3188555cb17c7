// The streamed conversion of a JPEG: the file is decoded a band of rows at a
// time (libjpeg's scanline interface), each band is toned with the row kernel
// ToneImage uses and handed through a small queue to a second thread, which
// compresses the bands as they arrive and writes them into the output draft.
// Decoding overlaps encoding, and a picture that needs no resize holds only a
// few bands in memory instead of the whole picture.
//
// A picture that must be resized into the box is decoded at the loader's
// eighth-scale on a third thread, and the caller's thread makes each band of the
// result with the smooth resize as soon as the source rows it needs are there,
// so decoding, resizing and encoding all overlap.
//
// The file written is byte for byte the one the whole-image path writes
// (LoadJpegScaled, ToneImage, SaveJpeg): the decoder, the resize and the encoder
// do what those calls do, and the EXIF orientation block goes to the same place.
// The thumbnail crop is copied from the rows as they pass.
//
// Any thread may convert this way; each call has its own decoder, encoder and
// threads.
#pragma once

#include "convert/convert_file.h"

#include <cstdint>

// Told on the decoding thread each time a band has been queued for encoding, with
// the rows decoded so far (lets tests act at a known point of the stream).
struct BandObserver {
    void (*bandQueued)(void *context, int64_t rowsDone) = nullptr;
    void *context = nullptr;
};

// Rows per band and bands in flight between the two threads.
constexpr int64_t StreamBandRows = 32;
constexpr int StreamBands = 4;

// Converts one file as ConvertOneFile does, by the stream, when the file is a
// JPEG the whole-image loader would take. Answers 1 when it took the file:
// StatusThumbnail and StatusSaving were reported as the whole-image path reports
// them, *status holds the final status (StatusDone, StatusError or
// StatusCancelled, not yet reported) and `outcome` is filled in.
// Answers 0 when the file is not for this path or could not be decoded to the
// end; then nothing was reported, no file is left, `outcome` is untouched and
// the caller converts the file the whole-image way, which meets the same
// failure and decides what becomes of it.
int StreamJpegConversion(const String &path, const String &outputFolder,
                         const ConversionSettings &settings, int shift, int64_t ordinal,
                         int64_t data, const StatusSink &sink, ConversionOutcome &outcome,
                         int *status, const BandObserver *observer = nullptr);
