// One file of a conversion: load it brought down to the maximum box, tone it,
// take the thumbnail crop, save it beside the others in the output folder with
// the saver its loader implies (JPEG sources as JPEG, everything else as PNG),
// reporting each stage to a sink. The worker of the main window and any other
// caller convert through this one procedure, so they write identical files.
// Any number of threads may convert at once: each has its own JPEG handles and
// drawing state.
#pragma once

#include "convert/conversion_status.h"
#include "convert/jpeg_quality.h"
#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <string>

struct ConversionSettings {
    int32_t MaxWidth = 0; // below 1: no limit
    int32_t MaxHeight = 0;
    int32_t JpegQuality = JpegQualityHigh; // see jpeg_quality.h
};

// The thumbnail rectangle of a w x h picture: at most 256 x 96, centred.
struct ThumbnailRect {
    int64_t x, y, width, height;
};
ThumbnailRect ThumbnailCrop(int64_t width, int64_t height);

// What became of one file, for callers that explain failures (the batch command).
constexpr int StageNone = 0; // converted, or stopped before anything failed
constexpr int StageLoad = 1; // neither loader read it
constexpr int StageTone = 2; // loaded but could not be toned
constexpr int StageSave = 3; // the saver failed
struct ConversionOutcome {
    int FailedStage = StageNone;
    int SaveError = 0;  // errno right after a failed save, 0 if none was set
    int64_t Pixels = 0; // width x height of the picture as loaded
    String Output;      // the path handed to the saver (before its naming rules)
    std::string Reason; // why loading failed, when the loader could tell (else empty)
};

// Converts `path` into `outputFolder` (ending in "/") with the tone shift `shift`.
// Reports StatusLoading, StatusThumbnail (when the sink wants it), StatusSaving
// and the final status, each with `ordinal` and `data` (the thumbnail carries its
// image instead). The stop request is looked at between toning and saving, inside
// the PNG writer, before each band of a streamed JPEG (stream_jpeg.h) and when
// the final status is chosen. Answers the final status:
// StatusDone, StatusError or StatusCancelled.
// With `outcome`, also tells where a failure happened.
int ConvertOneFile(const String &path, const String &outputFolder,
                   const ConversionSettings &settings, int shift, int64_t ordinal, int64_t data,
                   const StatusSink &sink, ConversionOutcome *outcome = nullptr);
