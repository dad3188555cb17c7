// Throughput of the toning kernels on a 6000 x 4000 RGBA picture, against memcpy of
// the same buffer in the same run, and the cost of building a colour table. The
// fused pass runs with sRGB's tables and with a matrix profile's (Adobe RGB),
// side by side; a profile made of colour tables takes its luminance from lcms2.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/support/profiled_pictures.h"
#include "tone/colour_profile.h"
#include "tone/colour_table.h"
#include "tone/kernels.h"
#include "tone/luma_tables.h"

namespace {

constexpr int64_t Width = 6000, Height = 4000, Pitch = Width * 4;
constexpr double Megapixels = Width * Height / 1e6;

// Photograph-like content: broad gradients, a few soft shapes and per-pixel noise,
// so that luminance (and with it the table reads) varies from pixel to pixel.
const std::vector<uint8_t> &Source() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> p(size_t(Pitch * Height));
        uint32_t seed = 2024;
        for (int64_t y = 0; y < Height; y++)
            for (int64_t x = 0; x < Width; x++) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = int(seed >> 27) - 16;
                const int64_t dx = x - 3000, dy = y - 1800;
                const int disc = dx * dx + dy * dy < 1200 * 1200 ? 60 : 0;
                uint8_t *q = p.data() + y * Pitch + x * 4;
                auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
                q[0] = clamp(int(x * 200 / Width) + disc + noise);
                q[1] = clamp(int(y * 220 / Height) + disc / 2 + noise);
                q[2] = clamp(int((x + y) * 160 / (Width + Height)) + 40 + noise);
                q[3] = 255;
            }
        return p;
    }();
    return pixels;
}

void Setup() {
    BuildLumaTables();
    const GradientStop nine[StopCount] = {0xFF200000, 0xFF402010, 0xFF003080,
                                          0xFF20A0C0, 0xFF40FF40, 0xFF00D0FF,
                                          0xFF8080FF, 0xFFE0E0FF, 0xFFFFFFFF};
    BuildColourTable(nine);
}

void ReportPixels(benchmark::State &state) {
    state.counters["Mpix/s"] =
        benchmark::Counter(Megapixels * double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(state.iterations() * Pitch * Height);
}

void BM_Memcpy(benchmark::State &state) {
    const std::vector<uint8_t> &source = Source();
    std::vector<uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    ReportPixels(state);
}

void BM_LuminanceAndTone(benchmark::State &state) {
    Setup();
    std::vector<uint8_t> pixels = Source();
    for (auto _ : state) {
        // Each pass starts again from the untoned picture; the refill is not timed.
        state.PauseTiming();
        std::memcpy(pixels.data(), Source().data(), pixels.size());
        state.ResumeTiming();
        LuminanceAndTone(pixels.data(), Pitch, Height, LayoutRgba, 12);
        benchmark::ClobberMemory();
    }
    ReportPixels(state);
}

void BM_LuminanceAndToneAdobeRgb(benchmark::State &state) {
    Setup();
    const ColourPrimaries adobe = {{{0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}, {0.3127, 0.3290}}};
    const ColourProfileRef profile = ProfileFromPrimaries(adobe, TransferGamma, 2.2);
    const ByteLumaLookup lookup = ProfileLookup(profile.get());
    std::vector<uint8_t> pixels = Source();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(pixels.data(), Source().data(), pixels.size());
        state.ResumeTiming();
        LuminanceAndToneWith(lookup, pixels.data(), Pitch, Height, LayoutRgba, 12);
        benchmark::ClobberMemory();
    }
    ReportPixels(state);
}

// The luminance alone, through lcms2 in floating point, a tenth of the picture.
void BM_ProfileLuminanceTables(benchmark::State &state) {
    Setup();
    const std::vector<unsigned char> icc = TableProfile();
    const ColourProfileRef profile = ProfileFromIcc(icc.data(), icc.size());
    const int64_t count = Width * Height / 10;
    std::vector<uint16_t> luminance(static_cast<size_t>(count));
    for (auto _ : state) {
        ProfileLuminance(*profile, Source().data(), luminance.data(), count);
        benchmark::ClobberMemory();
    }
    state.counters["Mpix/s"] = benchmark::Counter(Megapixels / 10 * double(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}

void BM_ComputeLuminance(benchmark::State &state) {
    Setup();
    const std::vector<uint8_t> &pixels = Source();
    std::vector<uint16_t> luminance(size_t(Width * Height));
    for (auto _ : state) {
        ComputeLuminance(pixels.data(), luminance.data(), Pitch, Height, LayoutRgba);
        benchmark::ClobberMemory();
    }
    ReportPixels(state);
}

void BM_ApplyTone(benchmark::State &state) {
    Setup();
    std::vector<uint8_t> pixels = Source();
    std::vector<uint16_t> luminance(size_t(Width * Height));
    ComputeLuminance(pixels.data(), luminance.data(), Pitch, Height, LayoutRgba);
    for (auto _ : state) {
        ApplyTone(luminance.data(), pixels.data(), Pitch, Height, LayoutRgba, -12);
        benchmark::ClobberMemory();
    }
    ReportPixels(state);
}

void BM_BuildColourTable(benchmark::State &state) {
    const GradientStop nine[StopCount] = {0xFF200000, 0xFF402010, 0xFF003080,
                                          0xFF20A0C0, 0xFF40FF40, 0xFF00D0FF,
                                          0xFF8080FF, 0xFFE0E0FF, 0xFFFFFFFF};
    for (auto _ : state) {
        BuildColourTable(nine);
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LuminanceAndTone)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LuminanceAndToneAdobeRgb)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ProfileLuminanceTables)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ComputeLuminance)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ApplyTone)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildColourTable)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
