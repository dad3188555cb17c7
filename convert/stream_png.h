// The streamed conversion of a large PNG that needs no scaling: the caller's
// thread decodes the file row band by row band with libpng straight into the
// picture and tones each band, while a writing thread already compresses the
// pieces of the output (the saver's pieces, over both cores) whose rows have
// arrived. Decoding so overlaps compression instead of coming before it.
//
// Only the files the platform reader would read as PNGs and give as stored,
// exactly, take this way: 8-bit RGB or RGBA, not interlaced, no transparent
// colour, read without a single complaint from libpng. Everything else, and every picture of one
// piece (SavePng writes those as one ordinary stream), is declined and converted whole. The file
// written is byte for byte SavePng's of the whole-image path.
#pragma once

#include "convert/convert_file.h"

#include <cstdint>

// Rows per band the decoder hands on.
constexpr int64_t StreamPngBandRows = 32;

// Converts one file as ConvertOneFile does, by the stream, when it is such a PNG.
// Answers 1 when it took the file: StatusThumbnail and StatusSaving were
// reported as the whole-image path reports them, *status holds the final status
// (not yet reported) and `outcome` is filled in. Answers 0 when the file is not
// for this path or libpng did not read it cleanly to the end; then nothing was
// reported, no file is left and `outcome` is untouched, and the caller converts
// the file the whole-image way.
int StreamPngConversion(const String &path, const String &outputFolder,
                        const ConversionSettings &settings, int shift, int64_t ordinal,
                        int64_t data, const StatusSink &sink, ConversionOutcome &outcome,
                        int *status);
