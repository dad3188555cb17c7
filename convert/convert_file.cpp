#include "convert/convert_file.h"

#include "convert/stop_flag.h"
#include "tone/picture_source.h"

int ConvertOneFile(const String &path, const String &outputFolder,
                   const ConversionSettings &settings, int shift, int64_t ordinal, int64_t data,
                   const StatusSink &sink, ConversionOutcome *outcome,
                   const BandObserver *observer) {
    ConversionOutcome local;
    ConversionOutcome &result = outcome ? *outcome : local;
    result = ConversionOutcome{};
    ReportStatus(sink, StatusLoading, ordinal, data);
    // The file is opened once; a reader that gives up on it part-way hands the
    // same open file to the next one.
    PictureSource source;
    source.LuminanceWanted = true;
    source.ColourProfiles = settings.ColourProfiles;
    int status = SourceFailed;
    if (OpenPictureSource(source, path, settings.MaxWidth, settings.MaxHeight)) {
        while ((status = ConvertBands(source, path, outputFolder, settings, shift, ordinal, data,
                                      sink, result, observer)) == SourceFailed &&
               NextPictureSource(source)) {
        }
    }
    if (status == SourceFailed) {
        result = ConversionOutcome{};
        result.FailedStage = StageLoad;
        result.Reason = source.Reason;
        status = StopRequested() ? StatusCancelled : StatusError;
    }
    ReportStatus(sink, status, ordinal, data);
    return status;
}
