#include "convert/stream_jpeg.h"

#include "convert/output_name.h"
#include "convert/save_jpeg.h"
#include "convert/stop_flag.h"
#include "convert/tone_image.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/memory_budget.h"
#include "runtime/base/paths.h"
#include "runtime/image/images.h"
#include "runtime/image/pixel_layout.h"
#include "runtime/image/pixel_memory.h"
#include "runtime/image/resize.h"
#include "tone/jpeg_check.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include <jpeglib.h>

namespace {

// The loader's own limits: files this short are left to the platform reader.
constexpr int64_t ShortestJpegFile = 97;
// Bytes collected before each write of the output draft.
constexpr size_t OutputChunk = size_t(64) << 10;

// libjpeg reports fatal errors here by a jump back to the call that failed, and
// warnings (a truncated file filled in, stray bytes) only by a mark: TurboJPEG
// treats them alike, and nothing is printed.
struct JpegErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
    bool warned;
    bool lostRows; // the data ended early: rows came out grey (jpeg_check.h)
};

void JumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors *>(info->err)->jump, 1);
}

void MarkWarning(j_common_ptr info, int level) {
    if (level >= 0) return;
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    errors->warned = true;
    if (JpegWarningLosesRows(info->err->msg_code)) errors->lostRows = true;
}

void PrintNothing(j_common_ptr) {}

jpeg_error_mgr *QuietErrors(JpegErrors &errors) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.emit_message = MarkWarning;
    errors.pub.output_message = PrintNothing;
    errors.warned = false;
    errors.lostRows = false;
    return &errors.pub;
}

// TurboJPEG changes its encoder from these variables; the stream cannot follow
// all of them, so with any of them set the file goes the whole-image way.
bool EncoderTunedByEnvironment() {
    for (const char *name : {"TJ_OPTIMIZE", "TJ_ARITHMETIC", "TJ_RESTART", "TJ_PROGRESSIVE"}) {
        const char *value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// The whole file, read with the loader's checks; empty when the loader would
// not take it.
std::unique_ptr<unsigned char[]> ReadJpegFile(const String &path, int64_t *length) {
    std::unique_ptr<unsigned char[]> data;
    int64_t number = OpenBinFileForReading(-1, path);
    if (!number) return data;
    *length = BinFileLength(number);
    unsigned char head[4];
    if (*length >= ShortestJpegFile && ReadBytes(number, head, 4) == 4 && head[0] == 0xFF &&
        head[1] == 0xD8 && head[2] == 0xFF) {
        data.reset(new (std::nothrow) unsigned char[size_t(*length)]);
        if (data) {
            std::memcpy(data.get(), head, 4);
            if (ReadBytes(number, data.get() + 4, *length - 4) != *length - 4) data.reset();
        }
    }
    CloseBinFile(number);
    return data;
}

// The size TurboJPEG reads from the header, with the loader's rule: a warning
// still gives the size, any other failure sends the file elsewhere (and leaves a
// fresh decompressor for the next file).
bool HeaderSize(const unsigned char *data, int64_t length, int *w, int *h) {
    int subsampling = 0, colourspace = 0;
    if (!StartJpegHandles()) return false;
    if (tjDecompressHeader3(JpegDecompressor(), data, (unsigned long)length, w, h, &subsampling,
                            &colourspace) != 0 &&
        !(tjGetErrorCode(JpegDecompressor()) == TJERR_WARNING && *w > 0 && *h > 0)) {
        ReplaceJpegDecompressor();
        return false;
    }
    return *w > 0 && *h > 0;
}

// The decoder, set up as tjDecompress2 sets it up for the loader: RGBA output,
// the accurate DCT, fancy upsampling (libjpeg's default), the loader's scale/8.
struct Decoder {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    ~Decoder() { jpeg_destroy_decompress(&info); }
};

bool StartDecoder(Decoder &d, const unsigned char *data, int64_t length, int scale) {
    d.info.err = QuietErrors(d.errors);
    if (setjmp(d.errors.jump)) return false;
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, data, (unsigned long)length);
    jpeg_read_header(&d.info, TRUE);
    d.info.out_color_space = JCS_EXT_RGBA;
    d.info.dct_method = JDCT_ISLOW;
    d.info.scale_num = JDIMENSION(scale);
    d.info.scale_denom = 8;
    jpeg_start_decompress(&d.info);
    return true;
}

bool ReadRows(Decoder &d, JSAMPROW *rows, JDIMENSION count) {
    if (setjmp(d.errors.jump)) return false;
    for (JDIMENSION got = 0; got < count;) {
        JDIMENSION n = jpeg_read_scanlines(&d.info, rows + got, count - got);
        if (n == 0) return false; // a memory source never suspends; stop rather than spin
        got += n;
    }
    return true;
}

bool FinishDecoder(Decoder &d) {
    if (setjmp(d.errors.jump)) return false;
    jpeg_finish_decompress(&d.info);
    return true;
}

// A picture that must be resized is decoded whole, on a thread of its own, band
// after band of rows, while the caller's thread resizes the rows that are there:
// the result's band waits only for the source rows it needs.
struct DecodedRows {
    Decoder *decoder = nullptr;
    unsigned char *pixels = nullptr;
    int64_t pitch = 0, height = 0;

    std::mutex lock;
    std::condition_variable changed;
    int64_t rows = 0; // rows decoded so far
    bool ended = false, decoded = false, abandoned = false;

    // The decoding thread: every row, then the end of the file, by the rule of
    // the caller's own loop (a failure at the very end counts as decoded when a
    // warning came first).
    void Decode() {
        JSAMPROW pointers[StreamBandRows];
        bool ok = true;
        for (int64_t done = 0; ok && done < height;) {
            int64_t count = std::min<int64_t>(StreamBandRows, height - done);
            for (int64_t i = 0; i < count; i++) pointers[i] = pixels + (done + i) * pitch;
            ok = !Abandoned() && ReadRows(*decoder, pointers, JDIMENSION(count));
            if (!ok) break;
            done += count;
            std::lock_guard<std::mutex> hold(lock);
            rows = done;
            changed.notify_all();
        }
        bool whole =
            ok && (FinishDecoder(*decoder) || decoder->errors.warned) && !decoder->errors.lostRows;
        std::lock_guard<std::mutex> hold(lock);
        ended = true, decoded = whole;
        changed.notify_all();
    }
    // Waits until the first `needed` rows are there; false when decoding ended
    // short of them.
    bool WaitFor(int64_t needed) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return rows >= needed || ended; });
        return rows >= needed;
    }
    // Waits for the decoder's end; true when the whole picture was decoded.
    bool Finished() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return ended; });
        return decoded;
    }
    void Abandon() {
        std::lock_guard<std::mutex> hold(lock);
        abandoned = true;
    }
    bool Abandoned() {
        std::lock_guard<std::mutex> hold(lock);
        return abandoned;
    }
};

// The decoding thread with its picture and the resize plan; on every way out the
// thread is told to stop and joined before the memory goes.
struct ScaledSource {
    DecodedRows decoded;
    SmoothRowsPlan *plan = nullptr;
    std::thread thread;

    bool Start(Decoder &decoder, int64_t width, int64_t height, int64_t newWidth,
               int64_t newHeight) {
        decoded.decoder = &decoder;
        decoded.pitch = width * 4, decoded.height = height;
        decoded.pixels = TakePixelMemory(size_t(decoded.pitch) * size_t(height), false);
        plan = StartSmoothRows(int(width), int(height), int(newWidth), int(newHeight),
                               int(StreamBandRows));
        if (!decoded.pixels || !plan) return false;
        try {
            thread = std::thread(&DecodedRows::Decode, &decoded);
        } catch (const std::system_error &) {
            return false;
        }
        return true;
    }
    // The result's rows [first, end) into `band`; false when the decoder failed
    // before the rows they need, or memory ran out.
    bool Rows(int64_t first, int64_t end, unsigned char *band) {
        return decoded.WaitFor(SmoothSourceRowsNeeded(plan, int(end))) &&
               MakeSmoothRows(plan, decoded.pixels, int(first), int(end), band);
    }
    void Stop() {
        if (!thread.joinable()) return;
        decoded.Abandon();
        thread.join();
    }
    ~ScaledSource() {
        Stop();
        EndSmoothRows(plan);
        GivePixelMemory(decoded.pixels);
    }
};

// The bands between the decoding thread (the producer) and the encoding thread:
// StreamBands buffers of StreamBandRows rows used in turn. The producer fills
// the next free one and queues it; the consumer takes the bands in order and
// frees each when it is written. The consumer always drains the queue to its
// end, so the producer never waits for good.
class BandQueue {
  public:
    explicit BandQueue(int64_t bandBytes)
        : bytes(bandBytes),
          memory(new (std::nothrow) unsigned char[size_t(bandBytes) * StreamBands]) {}
    bool Ready() const { return memory != nullptr; }

    unsigned char *FreeBand() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return queued - released < StreamBands; });
        return Band(queued);
    }
    void Queue(int64_t rows) {
        std::lock_guard<std::mutex> hold(lock);
        rowCounts[queued % StreamBands] = rows;
        queued++;
        changed.notify_all();
    }
    // No more bands; `abandon`: the picture is not finished and the consumer
    // drops what it still holds.
    void Close(bool abandon) {
        std::lock_guard<std::mutex> hold(lock);
        closed = true;
        abandoned = abandon;
        changed.notify_all();
    }

    // The next band and its rows, nullptr at the end.
    unsigned char *NextBand(int64_t *rows) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return released < queued || closed; });
        if (released == queued) return nullptr;
        *rows = rowCounts[released % StreamBands];
        return Band(released);
    }
    void Release() {
        std::lock_guard<std::mutex> hold(lock);
        released++;
        changed.notify_all();
    }
    bool Abandoned() {
        std::lock_guard<std::mutex> hold(lock);
        return abandoned;
    }

  private:
    unsigned char *Band(int64_t n) { return memory.get() + size_t(n % StreamBands) * bytes; }

    const int64_t bytes;
    std::unique_ptr<unsigned char[]> memory;
    std::mutex lock;
    std::condition_variable changed;
    int64_t queued = 0, released = 0;
    int64_t rowCounts[StreamBands] = {};
    bool closed = false, abandoned = false;
};

// The encoder, set up as tjCompress2 sets it up for the saver (4:4:4 YCbCr from
// RGBA, the saver's quality and DCT, JFIF header, no optimised tables), writing
// into the output draft through its own chunk buffer. Lives on the encoding
// thread from start to end; the decoding thread reads `complete` and `error`
// after joining it.
struct Encoder {
    jpeg_compress_struct info{};
    JpegErrors errors{};
    jpeg_destination_mgr destination{};
    int64_t file = 0;
    int width = 0, height = 0, quality = 95, orientation = 0;
    bool complete = false;
    int error = 0; // errno when the encoder failed
    unsigned char chunk[OutputChunk];
};

Encoder &EncoderOf(j_compress_ptr info) {
    return *static_cast<Encoder *>(info->client_data);
}

// A failed write ends the encoder as a libjpeg error would, errno kept.
void WriteChunk(Encoder &e, size_t length) {
    if (!WriteAllBytes(e.file, e.chunk, length)) {
        e.error = errno;
        std::longjmp(e.errors.jump, 1);
    }
}

void ChunkStart(j_compress_ptr info) {
    info->dest->next_output_byte = EncoderOf(info).chunk;
    info->dest->free_in_buffer = OutputChunk;
}

boolean ChunkFull(j_compress_ptr info) {
    WriteChunk(EncoderOf(info), OutputChunk);
    ChunkStart(info);
    return TRUE;
}

void ChunkEnd(j_compress_ptr info) {
    WriteChunk(EncoderOf(info), OutputChunk - info->dest->free_in_buffer);
}

bool EncoderFailed(Encoder &e) {
    if (!e.error) e.error = errno;
    return false;
}

bool StartEncoder(Encoder &e) {
    e.info.err = QuietErrors(e.errors);
    e.info.client_data = &e;
    if (setjmp(e.errors.jump)) return EncoderFailed(e);
    jpeg_create_compress(&e.info);
    e.destination.init_destination = ChunkStart;
    e.destination.empty_output_buffer = ChunkFull;
    e.destination.term_destination = ChunkEnd;
    e.info.dest = &e.destination;
    e.info.image_width = JDIMENSION(e.width);
    e.info.image_height = JDIMENSION(e.height);
    e.info.in_color_space = JCS_EXT_RGBA;
    e.info.input_components = 4;
    // TurboJPEG's order: defaults, quality, DCT, colour space, sampling factors.
    jpeg_set_defaults(&e.info);
    jpeg_set_quality(&e.info, e.quality, TRUE);
    e.info.dct_method = JpegAccurateDct(e.quality) ? JDCT_ISLOW : JDCT_FASTEST;
    jpeg_set_colorspace(&e.info, JCS_YCbCr);
    for (int c = 0; c < 3; c++) e.info.comp_info[c].h_samp_factor = 1;
    for (int c = 0; c < 3; c++) e.info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&e.info, TRUE);
    // Start-up wrote the start-of-image marker and the JFIF APP0, which is where
    // the saver puts its EXIF block too.
    if (e.orientation != 0) {
        unsigned char block[ExifOrientationBlockSize];
        BuildExifOrientationBlock(e.orientation, block);
        jpeg_write_marker(&e.info, JPEG_APP0 + 1, block + 4, ExifOrientationBlockSize - 4);
    }
    return true;
}

bool WriteRows(Encoder &e, JSAMPROW *rows, JDIMENSION count) {
    if (setjmp(e.errors.jump)) return EncoderFailed(e);
    for (JDIMENSION done = 0; done < count;) {
        JDIMENSION n = jpeg_write_scanlines(&e.info, rows + done, count - done);
        if (n == 0) return EncoderFailed(e);
        done += n;
    }
    return true;
}

bool FinishEncoder(Encoder &e) {
    if (setjmp(e.errors.jump)) return EncoderFailed(e);
    jpeg_finish_compress(&e.info);
    return true;
}

// The encoding thread: every band in turn until the queue ends. After a failure
// or a stop it keeps taking bands without encoding them, so the decoder can
// still run to its end.
void EncodeBands(Encoder *e, BandQueue *queue) {
    bool ok = StartEncoder(*e);
    JSAMPROW rows[StreamBandRows];
    int64_t count = 0;
    while (unsigned char *band = queue->NextBand(&count)) {
        if (ok && StopRequested()) ok = false;
        if (ok) {
            for (int64_t i = 0; i < count; i++) rows[i] = band + i * int64_t(e->width) * 4;
            ok = WriteRows(*e, rows, JDIMENSION(count));
        }
        queue->Release();
    }
    if (ok && !queue->Abandoned() && !StopRequested()) e->complete = FinishEncoder(*e);
    jpeg_destroy_compress(&e->info);
}

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

// After the encoder has finished: closes the draft and moves it to its name, as
// SaveJpeg ends; 1 when placed, else 0 with errno telling why.
int PlaceDraft(const Encoder &e, const String &draft, String *name) {
    if (!e.complete) errno = e.error;
    bool closed = CloseBinFile(e.file) != 0;
    if (e.complete && closed) return PlaceOutputFile(draft, name, u"jpg");
    DiscardOutputDraft(draft);
    return 0;
}

void DropDraft(const Encoder &e, const String &draft) {
    CloseBinFile(e.file);
    DiscardOutputDraft(draft);
}

} // namespace

int StreamJpegConversion(const String &path, const String &outputFolder,
                         const ConversionSettings &settings, int shift, int64_t ordinal,
                         int64_t data, const StatusSink &sink, ConversionOutcome &outcome,
                         int *status, const BandObserver *observer) {
    if (EncoderTunedByEnvironment()) return 0;
    int64_t length = 0;
    std::unique_ptr<unsigned char[]> file = ReadJpegFile(path, &length);
    int storedWidth = 0, storedHeight = 0;
    if (!file || !HeaderSize(file.get(), length, &storedWidth, &storedHeight)) return 0;
    // The loader's box, for the upright picture, and the loader's way into it.
    int orientation = ReadJpegOrientation(file.get(), size_t(length)) & 0xFF;
    int64_t maxWidth = settings.MaxWidth, maxHeight = settings.MaxHeight;
    if (orientation >= 5 && orientation <= 8) std::swap(maxWidth, maxHeight);
    JpegScalePlan scaling = PlanJpegScale(storedWidth, storedHeight, maxWidth, maxHeight);
    // A picture over its memory share, or one its data cannot hold, is refused
    // by the whole-image loader, with the reason.
    if (!FitsMemoryShare(JpegLoadingBytes(file.get(), size_t(length), scaling)) ||
        !JpegTooShortReason(file.get(), size_t(length)).empty())
        return 0;

    Decoder decoder;
    if (!StartDecoder(decoder, file.get(), length, scaling.scale) ||
        decoder.info.output_width != JDIMENSION(scaling.decodedWidth) ||
        decoder.info.output_height != JDIMENSION(scaling.decodedHeight) ||
        decoder.info.output_components != 4)
        return 0;
    // A picture to resize is decoded on a thread of its own (ScaledSource) and
    // resized here; any other goes straight from the decoder into the bands.
    ScaledSource scaled;
    bool resized = scaling.width != scaling.decodedWidth || scaling.height != scaling.decodedHeight;
    const int64_t w = scaling.width, h = scaling.height;
    const int64_t pitch = w * 4;
    BandQueue queue(pitch * StreamBandRows);
    std::unique_ptr<Encoder> encoder(new (std::nothrow) Encoder);
    if (!queue.Ready() || !encoder) return 0;
    encoder->width = int(w), encoder->height = int(h), encoder->orientation = orientation;
    encoder->quality = JpegSaveQuality(settings.JpegQuality);

    String output = outputFolder + FileNamePart(path);
    String name = JpegOutputName(output), draft;
    ThumbnailRows thumbnail(sink.wantsThumbnails != 0, w, h);
    encoder->file = CreateOutputDraft(name, &draft);
    if (!encoder->file) return 0; // the whole-image path meets the same refusal
    std::thread encoding;
    try {
        encoding = std::thread(EncodeBands, encoder.get(), &queue);
    } catch (const std::system_error &) {
        DropDraft(*encoder, draft);
        return 0;
    }
    if (resized && !scaled.Start(decoder, scaling.decodedWidth, scaling.decodedHeight, w, h)) {
        queue.Close(true);
        encoding.join();
        DropDraft(*encoder, draft);
        return 0; // out of memory or threads: the whole-image path decides
    }

    // Decode, tone and queue band after band; the stop request is looked at
    // before each one.
    JSAMPROW rows[StreamBandRows];
    int64_t done = 0;
    bool stopped = false, failed = false;
    while (done < h) {
        if (StopRequested()) {
            stopped = true;
            break;
        }
        unsigned char *band = queue.FreeBand();
        int64_t count = std::min<int64_t>(StreamBandRows, h - done);
        for (int64_t i = 0; i < count; i++) rows[i] = band + i * pitch;
        if (resized ? !scaled.Rows(done, done + count, band)
                    : !ReadRows(decoder, rows, JDIMENSION(count))) {
            failed = true;
            break;
        }
        ToneRows(band, pitch, count, LayoutRgba, shift);
        thumbnail.Take(band, pitch, done, count);
        queue.Queue(count);
        done += count;
        if (observer && observer->bandQueued) observer->bandQueued(observer->context, done);
    }
    // The loader's rule: a failure at the very end still counts as decoded when
    // a warning came first (every row has been delivered by then).
    // Rows the data never held are not a picture: the whole-image loader says why.
    bool decoded =
        !stopped && !failed &&
        (resized ? scaled.decoded.Finished() : FinishDecoder(decoder) || decoder.errors.warned) &&
        !decoder.errors.lostRows;
    queue.Close(!decoded);
    if (!decoded) {
        scaled.Stop();
        encoding.join();
        DropDraft(*encoder, draft);
        if (!stopped) return 0; // the whole-image loader fails here too
        outcome = ConversionOutcome{};
        outcome.Pixels = w * h;
        *status = StatusCancelled;
        return 1;
    }

    // From here on the whole-image path's steps after toning, in its order.
    outcome = ConversionOutcome{};
    outcome.Pixels = w * h;
    if (thumbnail.image && ReportStatus(sink, StatusThumbnail, ordinal, thumbnail.image))
        thumbnail.HandOver();
    int saved = 0;
    if (!StopRequested()) {
        ReportStatus(sink, StatusSaving, ordinal, data);
        encoding.join();
        errno = 0;
        // A stop that arrived while the last bands were encoded still counts.
        if (StopRequested()) {
            DropDraft(*encoder, draft);
        } else {
            saved = PlaceDraft(*encoder, draft, &name);
            if (!saved && !StopRequested()) {
                outcome.FailedStage = StageSave;
                outcome.SaveError = errno;
            }
        }
        outcome.Output = output;
    } else {
        encoding.join();
        DropDraft(*encoder, draft);
    }
    *status = saved ? StatusDone : StopRequested() ? StatusCancelled : StatusError;
    return 1;
}
