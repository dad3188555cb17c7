#include "convert/stream_png.h"

#include "convert/output_name.h"
#include "convert/png_pieces.h"
#include "convert/save_png.h"
#include "convert/stop_flag.h"
#include "convert/tone_image.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/memory_budget.h"
#include "runtime/base/paths.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/image/pixel_layout.h"
#include "tone/load_jpeg.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csetjmp>
#include <mutex>
#include <png.h>
#include <system_error>
#include <thread>

namespace {

// libpng's errors jump back to the call that failed; a warning only marks the
// file, which then is not for this path. Nothing is printed.
struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int64_t file = 0;
    bool warned = false;
    ~Reader() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        if (file) CloseBinFile(file);
    }
};

void JumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void MarkWarning(png_structp png, png_const_charp) {
    static_cast<Reader *>(png_get_error_ptr(png))->warned = true;
}

void ReadFromFile(png_structp png, png_bytep bytes, size_t length) {
    auto *reader = static_cast<Reader *>(png_get_io_ptr(png));
    if (ReadBytes(reader->file, bytes, int64_t(length)) != int64_t(length))
        png_error(png, "the file ends early");
}

// Reads the head and sets the one transform: RGB gets an opaque alpha after it.
// False when the file is not one this path takes.
bool StartReading(Reader &r, int64_t *width, int64_t *height) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_set_read_fn(r.png, &r, ReadFromFile);
    png_set_sig_bytes(r.png, 8);
    png_read_info(r.png, r.info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(r.png, r.info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    if (depth != 8 || interlace != PNG_INTERLACE_NONE ||
        (colour != PNG_COLOR_TYPE_RGB && colour != PNG_COLOR_TYPE_RGB_ALPHA) ||
        png_get_valid(r.png, r.info, PNG_INFO_tRNS) || w < 1 || h < 1 || w > MaxImageSide ||
        h > MaxImageSide)
        return false;
    if (colour == PNG_COLOR_TYPE_RGB) png_set_filler(r.png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != size_t(w) * 4) return false;
    *width = w, *height = h;
    return !r.warned;
}

bool ReadRows(Reader &r, png_bytep *rows, int64_t count) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_rows(r.png, rows, nullptr, png_uint_32(count));
    return !r.warned;
}

// The chunks after the image data, read to the end of the file as the platform
// reader's libpng does.
bool FinishReading(Reader &r) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_end(r.png, nullptr);
    return !r.warned;
}

// How far the decoder has come, for the compressing threads, which wait for the
// rows of their piece. `ended` without all rows: the decoder gave up.
struct RowsArrived {
    std::mutex lock;
    std::condition_variable changed;
    int64_t rows = 0;
    bool ended = false;

    void Arrived(int64_t count) {
        std::lock_guard<std::mutex> hold(lock);
        rows = count;
        changed.notify_all();
    }
    void End() {
        std::lock_guard<std::mutex> hold(lock);
        ended = true;
        changed.notify_all();
    }
    static bool Wait(void *context, int64_t end) {
        auto *self = static_cast<RowsArrived *>(context);
        std::unique_lock<std::mutex> hold(self->lock);
        self->changed.wait(hold, [&] { return self->rows >= end || self->ended; });
        return self->rows >= end;
    }
};

// The writing thread: the whole file into the draft, as SavePng writes it.
struct Writer {
    PngRows rows;
    int64_t file = 0;
    int64_t written = 0; // WritePngPieces' answer
    int error = 0;       // errno when it failed

    void Write() {
        errno = 0;
        written = WritePngPieces(file, rows);
        if (!written) error = errno;
    }
};

// The picture's image and its memory: 4-byte R, G, B, A rows, top row first, as
// every image's drawing target has them.
struct Picture {
    int64_t image = 0;
    unsigned char *pixels = nullptr;
    int64_t pitch = 0;

    bool Make(int64_t width, int64_t height) {
        image = NewDecodedImage(-1, width, height, 32, 0);
        if (!image || !OpenDrawTarget(ImageTarget(image))) return false;
        bool rgba = TargetLayout() == LayoutRgba && TargetPitch() == width * 4;
        pixels = TargetPixels(), pitch = width * 4;
        CloseDrawTarget();
        return rgba && pixels;
    }
    ~Picture() {
        if (image) ReleaseImage(image);
    }
};

} // namespace

int StreamPngConversion(const String &path, const String &outputFolder,
                        const ConversionSettings &settings, int shift, int64_t ordinal,
                        int64_t data, const StatusSink &sink, ConversionOutcome &outcome,
                        int *status) {
    Reader reader;
    reader.file = OpenBinFileForReading(-1, path);
    unsigned char head[8];
    if (!reader.file || ReadBytes(reader.file, head, 8) != 8 || png_sig_cmp(head, 0, 8) != 0)
        return 0;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, JumpOnError, MarkWarning);
    if (!reader.png || !(reader.info = png_create_info_struct(reader.png))) return 0;
    int64_t w = 0, h = 0;
    Picture picture;
    // Only a picture the loader keeps at its own size, written in pieces; one
    // over its memory share is refused by the whole-image path, with the reason.
    if (!StartReading(reader, &w, &h) ||
        FitRatio(w, h, BoxSide(settings.MaxWidth), BoxSide(settings.MaxHeight)) < 1 ||
        !PngPieceRows(w, h) || !FitsMemoryShare(w * h * 4) || !picture.Make(w, h))
        return 0;

    String name = ApplyExtensionRule(outputFolder + FileNamePart(path), {u"png"}, u"png");
    String draft;
    RowsArrived arrived;
    Writer writer;
    writer.rows = {picture.pixels, picture.pitch, w, h, false};
    writer.rows.rowsReady = RowsArrived::Wait;
    writer.rows.readyContext = &arrived;
    writer.file = CreateOutputDraft(name, &draft);
    if (!writer.file) return 0; // the whole-image path meets the same refusal
    std::thread writing;
    try {
        writing = std::thread(&Writer::Write, &writer);
    } catch (const std::system_error &) {
        CloseBinFile(writer.file);
        DiscardOutputDraft(draft);
        return 0;
    }

    // Decode and tone band after band; the stop request is looked at before each.
    png_bytep rows[StreamPngBandRows];
    bool stopped = false, failed = false;
    for (int64_t done = 0; done < h;) {
        if (StopRequested()) {
            stopped = true;
            break;
        }
        int64_t count = std::min<int64_t>(StreamPngBandRows, h - done);
        unsigned char *band = picture.pixels + done * picture.pitch;
        for (int64_t i = 0; i < count; i++) rows[i] = band + i * picture.pitch;
        if (!ReadRows(reader, rows, count)) {
            failed = true;
            break;
        }
        ToneRows(band, picture.pitch, count, LayoutRgba, shift);
        done += count;
        arrived.Arrived(done);
    }
    bool decoded = !stopped && !failed && FinishReading(reader);
    arrived.End();
    if (!decoded) {
        writing.join();
        CloseBinFile(writer.file);
        DiscardOutputDraft(draft);
        if (!stopped) return 0; // the whole-image path decides what becomes of it
        outcome = ConversionOutcome{};
        outcome.Pixels = w * h;
        *status = StatusCancelled;
        return 1;
    }

    // From here on the whole-image path's steps after toning, in its order.
    outcome = ConversionOutcome{};
    outcome.Pixels = w * h;
    if (sink.wantsThumbnails) {
        ThumbnailRect r = ThumbnailCrop(w, h);
        int64_t thumbnail = CropImage(picture.image, -1, r.x, r.y, r.width, r.height);
        if (thumbnail && !ReportStatus(sink, StatusThumbnail, ordinal, thumbnail))
            ReleaseImage(thumbnail);
    }
    bool saving = !StopRequested();
    if (saving) ReportStatus(sink, StatusSaving, ordinal, data);
    writing.join();
    errno = 0;
    bool closed = CloseBinFile(writer.file) != 0;
    int saved = 0;
    if (writer.written && closed && !StopRequested()) {
        saved = PlaceOutputFile(draft, &name, u"png");
    } else {
        if (!writer.written) errno = writer.error;
        DiscardOutputDraft(draft);
    }
    if (saving) {
        if (!saved && !StopRequested()) {
            outcome.FailedStage = StageSave;
            outcome.SaveError = errno;
        }
        outcome.Output = outputFolder + FileNamePart(path);
    }
    *status = saved ? StatusDone : StopRequested() ? StatusCancelled : StatusError;
    return 1;
}
