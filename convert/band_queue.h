// The bands between a thread that makes rows (the decoder) and one that writes
// them (the JPEG encoder): StreamBands buffers of StreamBandRows rows used in
// turn. The producer fills the next free one and queues it; the consumer takes
// the bands in order and frees each when it is written. The consumer always
// drains the queue to its end, so the producer never waits for good.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

// Rows per band and bands in flight between the two threads.
constexpr int64_t StreamBandRows = 32;
constexpr int StreamBands = 4;

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
