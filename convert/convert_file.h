// One file of a conversion: open it, read it brought down to the maximum box,
// tone it, take the thumbnail crop, and write it beside the others in the
// output folder in the format its reader implies (a JPEG source as JPEG,
// everything else as PNG), reporting each stage to a sink. The worker of the
// main window and the batch command convert through this one procedure, so
// they write identical files. Any number of threads may convert at once: each
// has its own decoders, encoders and drawing state.
#pragma once

#include "convert/band_pipeline.h"
#include "convert/conversion_status.h"
#include "convert/conversion_types.h"
#include "runtime/base/string_scratch.h"

#include <cstdint>

// Converts `path` into `outputFolder` (ending in "/") with the tone shift `shift`.
// Reports StatusLoading, StatusThumbnail (when the sink wants it), StatusSaving
// and the final status, each with `ordinal` and `data` (the thumbnail carries its
// image instead). The stop request is looked at before every band of rows and
// when the final status is chosen. Answers the final status: StatusDone,
// StatusError or StatusCancelled. With `outcome`, also tells where a failure
// happened and why.
int ConvertOneFile(const String &path, const String &outputFolder,
                   const ConversionSettings &settings, int shift, int64_t ordinal, int64_t data,
                   const StatusSink &sink, ConversionOutcome *outcome = nullptr,
                   const BandObserver *observer = nullptr);
