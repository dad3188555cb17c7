// Smooth resize speed of a 6000 x 4000 photograph, against a memcpy of the same
// buffer measured in the same run (the machine is shared, so only the ratio
// means something).
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "runtime/image/resize.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int SourceWidth = 6000, SourceHeight = 4000;

const std::vector<unsigned char> &Photo() {
    static std::vector<unsigned char> pixels = [] {
        std::vector<unsigned char> p(size_t(SourceWidth) * SourceHeight * 4);
        uint32_t state = 12345;
        for (auto &b : p) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<unsigned char>(state >> 24);
        }
        return p;
    }();
    return pixels;
}

void CopyBaseline(benchmark::State &state) {
    const auto &source = Photo();
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}

void SmoothTo(benchmark::State &state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const auto &source = Photo();
    std::vector<unsigned char> target(size_t(width) * height * 4);
    for (auto _ : state) {
        if (!SmoothResize(source.data(), SourceWidth, SourceHeight, target.data(), width, height))
            state.SkipWithError("out of memory");
        benchmark::DoNotOptimize(target.data());
    }
    // Output megapixels per second.
    state.counters["MPix/s"] = benchmark::Counter(
        double(width) * height * 1e-6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

// What a 24-megapixel JPEG into a 2048 box asks of the resize: the decoder's
// three-eighths picture (2250 x 1500) to 2048 x 1365.
void SmoothFromThreeEighths(benchmark::State &state) {
    const int width = 2250, height = 1500;
    const auto &source = Photo(); // its first rows serve as the smaller picture
    std::vector<unsigned char> target(size_t(2048) * 1365 * 4);
    for (auto _ : state) {
        if (!SmoothResize(source.data(), width, height, target.data(), 2048, 1365))
            state.SkipWithError("out of memory");
        benchmark::DoNotOptimize(target.data());
    }
}

// A fresh 24-megapixel block for every picture, written once and freed (what
// every file cost before picture memory was kept), against NewDecodedImage and
// ReleaseImage, which keep the block for the thread's next picture.
void FreshBlockPerPicture(benchmark::State &state) {
    const size_t bytes = size_t(SourceWidth) * SourceHeight * 4;
    for (auto _ : state) {
        auto *memory = static_cast<unsigned char *>(std::calloc(bytes, 1));
        std::memset(memory, 0x55, bytes); // the decoder writes every byte
        benchmark::DoNotOptimize(memory);
        std::free(memory);
    }
}

void KeptBlockPerPicture(benchmark::State &state) {
    StartImageRuntime();
    const size_t bytes = size_t(SourceWidth) * SourceHeight * 4;
    for (auto _ : state) {
        int64_t image = NewDecodedImage(-1, SourceWidth, SourceHeight, 24, 0);
        unsigned char *memory = LookupImage(image)->pixels;
        std::memset(memory, 0x55, bytes);
        benchmark::DoNotOptimize(memory);
        ReleaseImage(image);
    }
}

// The same through ScaleImage, which adds the new image memory and its view.
void ScaleImageTo(benchmark::State &state) {
    StartImageRuntime();
    const int width = int(state.range(0)), height = int(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        int64_t image = NewImage(-1, SourceWidth, SourceHeight);
        std::memcpy(LookupImage(image)->pixels, Photo().data(), Photo().size());
        state.ResumeTiming();
        ScaleImage(image, width, height);
        state.PauseTiming();
        ReleaseImage(image);
        state.ResumeTiming();
    }
    state.counters["MPix/s"] = benchmark::Counter(
        double(width) * height * 1e-6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(CopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(SmoothTo)->Args({5250, 3500})->Args({2048, 1365})->Unit(benchmark::kMillisecond);
BENCHMARK(FreshBlockPerPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(KeptBlockPerPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(SmoothFromThreeEighths)->Unit(benchmark::kMillisecond);
BENCHMARK(ScaleImageTo)->Args({2048, 1365})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
