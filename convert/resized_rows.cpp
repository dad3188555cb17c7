#include "convert/resized_rows.h"

#include "convert/band_queue.h"
#include "runtime/image/pixel_memory.h"
#include "runtime/image/resize.h"
#include "tone/picture_source.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

struct ResizedRows {
    PictureSource *source = nullptr;
    unsigned char *pixels = nullptr; // the decoded picture
    int64_t pitch = 0, height = 0;
    SmoothRowsPlan *plan = nullptr;
    std::thread thread;

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

} // namespace

ResizedRows *StartResizedRows(PictureSource &source) {
    std::unique_ptr<ResizedRows> r(new (std::nothrow) ResizedRows);
    if (!r) return nullptr;
    r->source = &source;
    r->pitch = source.RowsWidth * 4, r->height = source.RowsHeight;
    r->pixels = TakePixelMemory(size_t(r->pitch) * size_t(r->height), false);
    r->plan = StartSmoothRows(int(source.RowsWidth), int(source.RowsHeight), int(source.Width),
                              int(source.Height), int(StreamBandRows));
    if (!r->pixels || !r->plan) return nullptr;
    try {
        r->thread = std::thread(Decode, r.get());
    } catch (const std::system_error &) {
        return nullptr;
    }
    return r.release();
}

bool MakeResizedRows(ResizedRows *r, int64_t first, int64_t end, unsigned char *band) {
    int64_t needed = SmoothSourceRowsNeeded(r->plan, int(end));
    {
        std::unique_lock<std::mutex> hold(r->lock);
        r->changed.wait(hold, [&] { return r->rows >= needed || r->ended; });
        if (r->rows < needed) return false;
    }
    return MakeSmoothRows(r->plan, r->pixels, int(first), int(end), band);
}

bool ResizedSourceWhole(ResizedRows *r) {
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
