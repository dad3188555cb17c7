#include "convert/jpeg_writer.h"

#include "convert/band_queue.h"
#include "convert/jpeg_quality.h"
#include "convert/output_name.h"
#include "convert/save_jpeg.h"
#include "convert/stop_flag.h"
#include "runtime/base/bin_file.h"
#include "tone/jpeg_glue.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

namespace {

// Bytes collected before each write of the output draft.
constexpr size_t OutputChunk = size_t(64) << 10;

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
    int width = 0, height = 0, quality = JpegQualityHigh, orientation = 0;
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
    e.info.err = QuietJpegErrors(e.errors);
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

// After the encoder has finished: closes the draft and moves it to its name, as
// SaveJpeg ends; 1 when placed, else 0 with errno telling why.
int PlaceDraft(const Encoder &e, const String &draft, String *name) {
    if (!e.complete) errno = e.error;
    bool closed = CloseBinFile(e.file) != 0;
    if (e.complete && closed) return PlaceOutputFile(draft, name, JpegExtension);
    DiscardOutputDraft(draft);
    return 0;
}

void DropDraft(const Encoder &e, const String &draft) {
    CloseBinFile(e.file);
    DiscardOutputDraft(draft);
}

} // namespace

struct JpegStream {
    BandQueue queue;
    Encoder encoder;
    String draft;
    std::thread thread;
    explicit JpegStream(int64_t bandBytes) : queue(bandBytes) {}
};

bool JpegStreamPossible() {
    for (const char *name : {"TJ_OPTIMIZE", "TJ_ARITHMETIC", "TJ_RESTART", "TJ_PROGRESSIVE"}) {
        const char *value = std::getenv(name);
        if (value && *value) return false;
    }
    return true;
}

JpegStream *StartJpegStream(const String &name, int64_t width, int64_t height, int64_t quality,
                            int orientation) {
    std::unique_ptr<JpegStream> stream(new (std::nothrow) JpegStream(width * 4 * StreamBandRows));
    if (!stream || !stream->queue.Ready()) return nullptr;
    Encoder &e = stream->encoder;
    e.width = int(width), e.height = int(height), e.orientation = orientation;
    e.quality = JpegSaveQuality(quality);
    e.file = CreateOutputDraft(name, &stream->draft);
    if (!e.file) return nullptr;
    try {
        stream->thread = std::thread(EncodeBands, &e, &stream->queue);
    } catch (const std::system_error &) {
        DropDraft(e, stream->draft);
        return nullptr;
    }
    return stream.release();
}

unsigned char *FreeJpegBand(JpegStream *stream) {
    return stream->queue.FreeBand();
}

void QueueJpegBand(JpegStream *stream, int64_t rows) {
    stream->queue.Queue(rows);
}

int EndJpegStream(JpegStream *stream, bool place, String *name) {
    std::unique_ptr<JpegStream> owned(stream);
    stream->queue.Close(!place);
    stream->thread.join();
    errno = 0;
    // A stop that arrived while the last bands were encoded still counts.
    if (place && !StopRequested()) return PlaceDraft(stream->encoder, stream->draft, name);
    DropDraft(stream->encoder, stream->draft);
    return 0;
}
