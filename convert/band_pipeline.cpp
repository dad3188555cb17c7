#include "convert/band_pipeline.h"

#include "convert/band_queue.h"
#include "convert/jpeg_writer.h"
#include "convert/output_name.h"
#include "convert/png_pieces.h"
#include "convert/png_writer.h"
#include "convert/resized_rows.h"
#include "convert/save_jpeg.h"
#include "convert/save_png.h"
#include "convert/stop_flag.h"
#include "convert/tone_image.h"
#include "runtime/base/paths.h"
#include "runtime/image/images.h"
#include "runtime/image/pixel_layout.h"
#include "tone/load_source.h"
#include "tone/picture_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// The thumbnail crop of the toned picture, copied from the bands as they pass;
// the same image CropImage makes from the whole one.
struct ThumbnailRows {
    int64_t image = 0;
    unsigned char *pixels = nullptr;
    ThumbnailRect rect{};

    ThumbnailRows(bool wanted, int64_t w, int64_t h) : rect(ThumbnailCrop(w, h)) {
        if (wanted) image = NewDecodedImage(-1, rect.width, rect.height, 24, 0);
        if (ImageRecord *record = image ? LookupImage(image) : nullptr) pixels = record->pixels;
    }
    ~ThumbnailRows() {
        if (image) ReleaseImage(image);
    }
    void Take(const unsigned char *band, int64_t pitch, int64_t first, int64_t rows) {
        if (!pixels) return;
        int64_t from = std::max(first, rect.y), to = std::min(first + rows, rect.y + rect.height);
        for (int64_t y = from; y < to; y++)
            std::memcpy(pixels + (y - rect.y) * rect.width * 4,
                        band + (y - first) * pitch + rect.x * 4, size_t(rect.width) * 4);
    }
    int64_t HandOver() { return std::exchange(image, 0); }
};

// Where the toned rows go: the JPEG stream's bands, or the picture held whole
// (for the PNG stream, which compresses from it, and for the whole-picture
// savers). Exactly one of `jpeg` and `image` is set once started.
struct Output {
    String path; // the folder and the source's file name, before the naming rules
    bool asJpeg = false;
    int64_t quality = JpegQualityHigh;
    int orientation = 0;
    JpegStream *jpeg = nullptr;
    PngStream *png = nullptr;
    int64_t image = 0;
    unsigned char *pixels = nullptr; // the image's rows
    bool rowsInPlace = false;        // the source's own picture: its rows are there already
    int turn = 0;                    // the orientation to turn the picture upright by before saving

    ~Output() {
        if (jpeg) EndJpegStream(jpeg, false, &path);
        if (png) EndPngStream(png, false, &path);
        if (image) ReleaseImage(image);
    }
};

// The name the writer puts the file under, before the collision rule.
String OutputName(const Output &out) {
    return out.asJpeg ? JpegOutputName(out.path) : PngOutputName(out.path);
}

// Picks the writer for a width x height picture; false when memory runs out.
// A writer that cannot start (no draft in the folder, say) leaves the picture
// to the whole-picture saver, which meets the same refusal and says why.
bool StartOutput(Output &out, PictureSource &source, int64_t width, int64_t height) {
    if (out.asJpeg && JpegStreamPossible())
        out.jpeg = StartJpegStream(OutputName(out), width, height, out.quality, out.orientation);
    if (out.jpeg) return true;
    out.turn = !out.asJpeg && source.Kind == SourceJpeg ? source.Orientation : 0;
    out.image = TakeSourceImage(source);
    out.rowsInPlace = out.image != 0;
    if (!out.image) out.image = NewDecodedImage(-1, width, height, out.asJpeg ? 24 : 32, 0);
    const ImageRecord *record = out.image ? LookupImage(out.image) : nullptr;
    if (!record) return false;
    out.pixels = record->pixels;
    // A picture to turn is turned whole, before it is saved.
    if (!out.asJpeg && out.turn < 2 && PngPieceRows(width, height))
        out.png = StartPngStream(OutputName(out), out.pixels, width, height);
    return true;
}

unsigned char *NextBand(Output &out, int64_t first, int64_t pitch) {
    return out.jpeg ? FreeJpegBand(out.jpeg) : out.pixels + first * pitch;
}

void BandDone(Output &out, int64_t first, int64_t rows) {
    if (out.jpeg) QueueJpegBand(out.jpeg, rows);
    if (out.png) PngRowsArrived(out.png, first + rows);
}

// Every row is toned: the file is finished and placed. 1 with the name it went
// under in *placed when it was; else 0 with errno saying why.
int PlaceOutput(Output &out, String *placed) {
    *placed = OutputName(out);
    if (out.jpeg) return EndJpegStream(std::exchange(out.jpeg, nullptr), true, placed);
    if (out.png) return EndPngStream(std::exchange(out.png, nullptr), true, placed);
    errno = 0;
    if (out.turn > 1 && !(out.image = OrientUpright(out.image, out.turn))) return 0;
    return out.asJpeg ? SaveJpeg(out.image, out.path, out.quality, out.orientation, placed)
                      : SavePng(out.image, out.path, placed);
}

} // namespace

int ConvertBands(PictureSource &source, const String &path, const String &outputFolder,
                 const ConversionSettings &settings, int shift, int64_t ordinal, int64_t data,
                 const StatusSink &sink, ConversionOutcome &outcome, const BandObserver *observer) {
    const int64_t w = source.Width, h = source.Height, pitch = w * 4;
    Output out;
    out.path = outputFolder + FileNamePart(path);
    out.asJpeg = WrittenAsJpeg(settings.OutputFormat, source.Kind == SourceJpeg);
    out.quality = settings.JpegQuality;
    // Only a JPEG read as JPEG carries its orientation on; other readers turn the
    // picture upright themselves.
    out.orientation = out.asJpeg && source.Kind == SourceJpeg ? source.Orientation : 0;
    // A picture to resize is decoded on a thread of its own and resized here;
    // any other goes straight from the decoder into the bands.
    ResizedRows *resized = nullptr;
    bool resizing = source.RowsWidth != w || source.RowsHeight != h;
    if (!StartOutput(out, source, w, h) || (resizing && !(resized = StartResizedRows(source)))) {
        EndResizedRows(resized);
        outcome = ConversionOutcome{};
        outcome.FailedStage = StageLoad;
        outcome.Reason = "not enough memory";
        return StatusError;
    }
    ThumbnailRows thumbnail(sink.wantsThumbnails != 0, w, h);

    // Decode, tone and hand on band after band; the stop request is looked at
    // before each one.
    unsigned char *rows[StreamBandRows];
    int64_t done = 0;
    bool stopped = false, failed = false;
    while (done < h) {
        if (StopRequested()) {
            stopped = true;
            break;
        }
        unsigned char *band = NextBand(out, done, pitch);
        int64_t count = std::min<int64_t>(StreamBandRows, h - done);
        for (int64_t i = 0; i < count; i++) rows[i] = band + i * pitch;
        if (resized ? !MakeResizedRows(resized, done, done + count, band)
                    : !out.rowsInPlace && !ReadSourceRows(source, rows, count)) {
            failed = true;
            break;
        }
        const ColourProfile *colours = source.Colours.get();
        if (source.RowsHoldLuminance)
            ToneLuminanceRows(band, pitch, count, shift);
        else if (colours && !colours->Matrix && !colours->Cmyk)
            failed = !ToneRowsThroughLight(*colours, band, pitch, count, shift);
        else
            ToneRows(band, pitch, count, LayoutRgba, shift, ProfileLookup(colours));
        if (failed) break;
        thumbnail.Take(band, pitch, done, count);
        BandDone(out, done, count);
        done += count;
        if (observer && observer->bandDone) observer->bandDone(observer->context, done);
    }
    bool whole =
        !stopped && !failed && (resized ? ResizedSourceWhole(resized) : FinishSource(source));
    EndResizedRows(resized);
    outcome = ConversionOutcome{};
    if (!whole) {
        if (!stopped) return SourceFailed; // the output is dropped with `out`
        outcome.Pixels = w * h;
        return StatusCancelled;
    }

    outcome.Pixels = w * h;
    if (thumbnail.image && ReportStatus(sink, StatusThumbnail, ordinal, thumbnail.image))
        thumbnail.HandOver();
    if (StopRequested()) return StatusCancelled;
    ReportStatus(sink, StatusSaving, ordinal, data);
    outcome.Output = out.path;
    outcome.SourceWidth = source.StoredWidth, outcome.SourceHeight = source.StoredHeight;
    // Orientations 5 to 8 turn the picture a quarter.
    bool quarter = out.turn >= 5 && out.turn <= 8;
    outcome.OutputWidth = quarter ? h : w, outcome.OutputHeight = quarter ? w : h;
    String placed;
    if (PlaceOutput(out, &placed)) {
        outcome.Placed = placed;
        return StatusDone;
    }
    if (StopRequested()) return StatusCancelled;
    outcome.FailedStage = StageSave;
    outcome.SaveError = errno;
    return StatusError;
}
