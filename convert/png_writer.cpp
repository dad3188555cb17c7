#include "convert/png_writer.h"

#include "convert/output_name.h"
#include "convert/png_pieces.h"
#include "convert/save_png.h"
#include "convert/stop_flag.h"
#include "runtime/base/bin_file.h"

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

struct PngStream {
    PngRows rows;
    int64_t file = 0;
    String draft;
    std::thread thread;
    int64_t written = 0; // WritePngPieces' answer
    int error = 0;       // errno when it failed

    // How far the rows have come, for the compressing threads, which wait for
    // the rows of their piece. `ended` without all rows: none will follow.
    std::mutex lock;
    std::condition_variable changed;
    int64_t arrived = 0;
    bool ended = false;
};

namespace {

void Write(PngStream *s) {
    errno = 0;
    s->written = WritePngPieces(s->file, s->rows);
    if (!s->written) s->error = errno;
}

bool RowsReady(void *context, int64_t end) {
    auto *s = static_cast<PngStream *>(context);
    std::unique_lock<std::mutex> hold(s->lock);
    s->changed.wait(hold, [&] { return s->arrived >= end || s->ended; });
    return s->arrived >= end;
}

} // namespace

PngStream *StartPngStream(const String &name, const unsigned char *pixels, int64_t width,
                          int64_t height) {
    std::unique_ptr<PngStream> s(new (std::nothrow) PngStream);
    if (!s) return nullptr;
    s->rows = {pixels, width * 4, width, height, false};
    s->rows.rowsReady = RowsReady;
    s->rows.readyContext = s.get();
    s->file = CreateOutputDraft(name, &s->draft);
    if (!s->file) return nullptr;
    try {
        s->thread = std::thread(Write, s.get());
    } catch (const std::system_error &) {
        CloseBinFile(s->file);
        DiscardOutputDraft(s->draft);
        return nullptr;
    }
    return s.release();
}

void PngRowsArrived(PngStream *s, int64_t rows) {
    std::lock_guard<std::mutex> hold(s->lock);
    s->arrived = rows;
    s->changed.notify_all();
}

int EndPngStream(PngStream *stream, bool place, String *name) {
    std::unique_ptr<PngStream> s(stream);
    {
        std::lock_guard<std::mutex> hold(s->lock);
        s->ended = true;
        s->changed.notify_all();
    }
    s->thread.join();
    errno = 0;
    bool closed = CloseBinFile(s->file) != 0;
    if (place && s->written && closed && !StopRequested())
        return PlaceOutputFile(s->draft, name, PngExtension);
    if (!s->written) errno = s->error;
    DiscardOutputDraft(s->draft);
    return 0;
}
