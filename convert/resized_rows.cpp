#include "convert/resized_rows.h"

#include "convert/band_queue.h"
#include "runtime/image/pixel_memory.h"
#include "runtime/image/premultiply.h"
#include "runtime/image/resize.h"
#include "tone/picture_source.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

struct ResizedRows {
    PictureSource *source = nullptr;
    unsigned char *pixels = nullptr; // the decoded picture, or the window's rows
    int64_t pitch = 0, height = 0;
    SmoothRowsPlan *plan = nullptr;
    std::thread thread;
    // A source read row by row on the caller's thread keeps only the window of
    // rows the resize still needs: source rows [windowFirst, rows).
    bool windowed = false;
    int64_t windowFirst = 0;
    bool premultiplied = false; // colour weighed by alpha while it is resized

    std::mutex lock;
    std::condition_variable changed;
    int64_t rows = 0; // rows decoded so far
    bool ended = false, whole = false, abandoned = false;

    ~ResizedRows() {
        EndSmoothRows(plan);
        GivePixelMemory(pixels);
    }
};

namespace {

bool Abandoned(ResizedRows &r) {
    std::lock_guard<std::mutex> hold(r.lock);
    return r.abandoned;
}

// The decoding thread: every row, then the end of the file.
void Decode(ResizedRows *r) {
    unsigned char *pointers[StreamBandRows];
    bool ok = true;
    for (int64_t done = 0; ok && done < r->height;) {
        int64_t count = std::min<int64_t>(StreamBandRows, r->height - done);
        for (int64_t i = 0; i < count; i++) pointers[i] = r->pixels + (done + i) * r->pitch;
        ok = !Abandoned(*r) && ReadSourceRows(*r->source, pointers, count);
        if (!ok) break;
        done += count;
        std::lock_guard<std::mutex> hold(r->lock);
        r->rows = done;
        r->changed.notify_all();
    }
    bool whole = ok && FinishSource(*r->source);
    std::lock_guard<std::mutex> hold(r->lock);
    r->ended = true, r->whole = whole;
    r->changed.notify_all();
}

// Reads source rows [rows, end) into the window (row n at n - windowFirst).
bool ReadIntoWindow(ResizedRows &r, int64_t end) {
    unsigned char *pointers[StreamBandRows];
    while (r.rows < end) {
        int64_t count = std::min<int64_t>(StreamBandRows, end - r.rows);
        unsigned char *at = r.pixels + (r.rows - r.windowFirst) * r.pitch;
        for (int64_t i = 0; i < count; i++) pointers[i] = at + i * r.pitch;
        if (!ReadSourceRows(*r.source, pointers, count)) return false;
        if (r.premultiplied) PremultiplyRgba(at, r.pitch / 4, count, r.pitch);
        r.rows += count;
    }
    return true;
}

// Moves the window on to start at source row `first`; rows before it that were
// never needed are read through its first row and dropped.
bool SlideWindow(ResizedRows &r, int64_t first) {
    if (first <= r.windowFirst) return true;
    if (r.rows > first) {
        std::memmove(r.pixels, r.pixels + (first - r.windowFirst) * r.pitch,
                     size_t(r.rows - first) * size_t(r.pitch));
        r.windowFirst = first;
        return true;
    }
    while (r.rows < first) {
        r.windowFirst = r.rows;
        if (!ReadIntoWindow(r, r.rows + 1)) return false;
    }
    r.windowFirst = first;
    return true;
}

} // namespace

ResizedRows *StartResizedRows(PictureSource &source) {
    std::unique_ptr<ResizedRows> r(new (std::nothrow) ResizedRows);
    if (!r) return nullptr;
    r->source = &source;
    r->pitch = source.RowsWidth * 4, r->height = source.RowsHeight;
    r->plan = StartSmoothRows(int(source.RowsWidth), int(source.RowsHeight), int(source.Width),
                              int(source.Height), int(StreamBandRows));
    if (!r->plan) return nullptr;
    // A PNG is decoded row by row on this thread into a window; a JPEG decodes
    // whole on a thread of its own, which keeps both cores busy.
    r->windowed = r->premultiplied = source.Kind == SourcePng;
    int64_t rows = r->windowed ? SmoothSourceRowsSpan(r->plan) : r->height;
    r->pixels = TakePixelMemory(size_t(r->pitch) * size_t(std::max<int64_t>(rows, 1)), false);
    if (!r->pixels) return nullptr;
    if (r->windowed) return r.release();
    try {
        r->thread = std::thread(Decode, r.get());
    } catch (const std::system_error &) {
        return nullptr;
    }
    return r.release();
}

bool MakeResizedRows(ResizedRows *r, int64_t first, int64_t end, unsigned char *band) {
    int64_t needed = SmoothSourceRowsNeeded(r->plan, int(end));
    if (r->windowed) {
        if (!SlideWindow(*r, SmoothSourceRowsFirst(r->plan, int(first))) ||
            !ReadIntoWindow(*r, needed) ||
            !MakeSmoothRowsFrom(r->plan, r->pixels, int(r->windowFirst), int(first), int(end),
                                band))
            return false;
        if (r->premultiplied)
            UnpremultiplyRgba(band, r->source->Width, end - first, r->source->Width * 4);
        return true;
    }
    {
        std::unique_lock<std::mutex> hold(r->lock);
        r->changed.wait(hold, [&] { return r->rows >= needed || r->ended; });
        if (r->rows < needed) return false;
    }
    return MakeSmoothRows(r->plan, r->pixels, int(first), int(end), band);
}

bool ResizedSourceWhole(ResizedRows *r) {
    // Rows the resize did not need are read all the same, to the file's end.
    if (r->windowed) return SlideWindow(*r, r->height) && FinishSource(*r->source);
    std::unique_lock<std::mutex> hold(r->lock);
    r->changed.wait(hold, [&] { return r->ended; });
    return r->whole;
}

void EndResizedRows(ResizedRows *r) {
    if (!r) return;
    if (r->thread.joinable()) {
        {
            std::lock_guard<std::mutex> hold(r->lock);
            r->abandoned = true;
        }
        r->thread.join();
    }
    delete r;
}
