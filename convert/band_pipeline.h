// The one way a picture goes from its source to its output file: rows arrive
// from the source a band at a time, are resized into the box as soon as the
// rows they need are there, toned, copied into the thumbnail as they pass, and
// handed to the writer of the output format (by default the one the source
// implies: a JPEG source's as JPEG with its orientation, every other as PNG):
// - a JPEG is encoded on a thread of its own while decoding goes on;
// - a PNG of more than one piece is compressed over both cores while its rows
//   arrive;
// - anything else (a PNG of one piece, a JPEG when TurboJPEG's encoder is tuned
//   from the environment) is saved whole once every row is toned.
// Every file is byte for byte what SaveJpeg or SavePng writes of the picture
// LoadSourceImage loads and ToneImage tones. The stop request is looked at
// before every band, and nothing is left behind but a complete file under its
// final name.
#pragma once

#include "convert/conversion_status.h"
#include "convert/conversion_types.h"

#include <cstdint>

struct PictureSource;

// Told on the converting thread each time a band has been toned and handed on,
// with the rows done so far (lets tests act at a known point of the stream).
struct BandObserver {
    void (*bandDone)(void *context, int64_t rowsDone) = nullptr;
    void *context = nullptr;
};

// The answer of ConvertBands when the source failed before the picture was
// whole: nothing was reported and nothing is left, and the next reader may try.
constexpr int SourceFailed = -100;

// Converts the open `source` of the file `path` into `outputFolder`. Reports
// StatusThumbnail (when the sink wants it) and StatusSaving; answers the final
// status (StatusDone, StatusError or StatusCancelled, not yet reported) with
// `outcome` filled in, or SourceFailed.
int ConvertBands(PictureSource &source, const String &path, const String &outputFolder,
                 const ConversionSettings &settings, int shift, int64_t ordinal, int64_t data,
                 const StatusSink &sink, ConversionOutcome &outcome,
                 const BandObserver *observer = nullptr);
