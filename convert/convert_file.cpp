#include "convert/convert_file.h"

#include "convert/save_jpeg.h"
#include "convert/save_png.h"
#include "convert/stop_flag.h"
#include "convert/stream_jpeg.h"
#include "convert/stream_png.h"
#include "convert/tone_image.h"
#include "runtime/base/failure_reason.h"
#include "runtime/base/paths.h"
#include "runtime/image/images.h"
#include "tone/load_jpeg.h"
#include "tone/load_source.h"

#include <cerrno>

namespace {

constexpr int64_t ThumbnailWidth = 256;
constexpr int64_t ThumbnailHeight = 96;

} // namespace

ThumbnailRect ThumbnailCrop(int64_t width, int64_t height) {
    ThumbnailRect r{0, 0, width, height};
    if (width > ThumbnailWidth) r.x = (width - ThumbnailWidth) >> 1, r.width = ThumbnailWidth;
    if (height > ThumbnailHeight) r.y = (height - ThumbnailHeight) >> 1, r.height = ThumbnailHeight;
    return r;
}

int ConvertOneFile(const String &path, const String &outputFolder,
                   const ConversionSettings &settings, int shift, int64_t ordinal, int64_t data,
                   const StatusSink &sink, ConversionOutcome *outcome) {
    ConversionOutcome local;
    ConversionOutcome &result = outcome ? *outcome : local;
    result = ConversionOutcome{};
    ReportStatus(sink, StatusLoading, ordinal, data);
    TakeFailureReason(); // nothing of an earlier file may stick to this one
    // A JPEG streams through decoder, resize and encoder a band at a time, and a
    // large PNG at its own size through decoder and compression, to the same
    // file; every other file (and one a stream declines) is converted whole.
    int streamed = StatusError;
    if (StreamJpegConversion(path, outputFolder, settings, shift, ordinal, data, sink, result,
                             &streamed) ||
        StreamPngConversion(path, outputFolder, settings, shift, ordinal, data, sink, result,
                            &streamed)) {
        ReportStatus(sink, streamed, ordinal, data);
        return streamed;
    }
    // The loader order of LoadSourceImage, step by step: the saver follows the loader.
    int orientation = 0;
    bool fromJpeg = true;
    int64_t image = LoadJpegScaled(path, settings.MaxWidth, settings.MaxHeight, &orientation);
    if (!image && !FailureReasonGiven()) {
        fromJpeg = false;
        orientation = 0;
        image = LoadImageViaPlatform(path, settings.MaxWidth, settings.MaxHeight);
    }
    int saved = 0;
    if (!image) {
        result.FailedStage = StageLoad;
        result.Reason = TakeFailureReason();
    }
    if (image) {
        result.Pixels = ImagePixelWidth(image) * ImagePixelHeight(image);
        // A picture that could not be toned is not saved as if it were.
        int toned = ToneImage(image, shift);
        if (!toned) result.FailedStage = StageTone;
        if (toned && sink.wantsThumbnails) {
            ThumbnailRect r = ThumbnailCrop(ImagePixelWidth(image), ImagePixelHeight(image));
            int64_t thumbnail = CropImage(image, -1, r.x, r.y, r.width, r.height);
            if (thumbnail && !ReportStatus(sink, StatusThumbnail, ordinal, thumbnail))
                ReleaseImage(thumbnail);
        }
        if (toned && !StopRequested()) {
            ReportStatus(sink, StatusSaving, ordinal, data);
            String output = outputFolder + FileNamePart(path);
            errno = 0;
            saved = fromJpeg ? SaveJpeg(image, output, settings.JpegQuality, orientation)
                             : SavePng(image, output);
            if (!saved && !StopRequested()) {
                result.FailedStage = StageSave;
                result.SaveError = errno;
            }
            result.Output = output;
        }
        ReleaseImage(image);
    }
    int status = saved ? StatusDone : StopRequested() ? StatusCancelled : StatusError;
    ReportStatus(sink, status, ordinal, data);
    return status;
}
