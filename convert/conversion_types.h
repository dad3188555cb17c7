// What a conversion of one file is given and what it tells back: the settings,
// the thumbnail crop and the outcome.
#pragma once

#include "convert/jpeg_quality.h"
#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <string>

// The format of every output: the reader's (a JPEG source as JPEG, anything
// else as PNG), or one for all.
constexpr int32_t OutputAsRead = 0;
constexpr int32_t OutputJpeg = 1; // at the JPEG quality; alpha is dropped
constexpr int32_t OutputPng = 2;  // a JPEG source turned upright first

struct ConversionSettings {
    int32_t MaxWidth = 0; // below 1: no limit
    int32_t MaxHeight = 0;
    int32_t JpegQuality = JpegQualityHigh; // see jpeg_quality.h
    int32_t OutputFormat = OutputAsRead;
    // Whether the colours a file describes are read (false: every picture is
    // taken as sRGB, as before profiles were read).
    bool ColourProfiles = true;
};

// Whether a picture its reader read (as JPEG or not) is written as JPEG.
inline bool WrittenAsJpeg(int32_t outputFormat, bool readAsJpeg) {
    return outputFormat == OutputJpeg || (outputFormat == OutputAsRead && readAsJpeg);
}

// The thumbnail of a toned picture: its centre, at most 256 x 96.
constexpr int64_t ThumbnailWidth = 256;
constexpr int64_t ThumbnailHeight = 96;
struct ThumbnailRect {
    int64_t x, y, width, height;
};
inline ThumbnailRect ThumbnailCrop(int64_t width, int64_t height) {
    ThumbnailRect r{0, 0, width, height};
    if (width > ThumbnailWidth) r.x = (width - ThumbnailWidth) >> 1, r.width = ThumbnailWidth;
    if (height > ThumbnailHeight) r.y = (height - ThumbnailHeight) >> 1, r.height = ThumbnailHeight;
    return r;
}

// What became of one file, for callers that explain failures (the batch command).
constexpr int StageNone = 0; // converted, or stopped before anything failed
constexpr int StageLoad = 1; // no reader read it
constexpr int StageSave = 3; // the writer failed
struct ConversionOutcome {
    int FailedStage = StageNone;
    int SaveError = 0;  // errno right after a failed save, 0 if none was set
    int64_t Pixels = 0; // width x height of the picture in the box
    String Output;      // the path handed to the writer (before its naming rules)
    String Placed;      // the name the output was placed under, once it was
    std::string Reason; // why reading failed
    int64_t SourceWidth = 0, SourceHeight = 0; // as the file stores the picture
    int64_t OutputWidth = 0, OutputHeight = 0; // as written (turned upright when it was)
};
