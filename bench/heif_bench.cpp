// The HEIF source on the 12-megapixel phone photograph (a grid of 48 HEVC tiles,
// turned upright), opened into the window's 2048 box and read row by row,
// against a memcpy of the decoded picture measured in the same run (the machine
// is shared, so only the ratio means something).
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tone/picture_source.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string Photo = std::string(TINTWELL_TESTDATA) + "/formats/heic/arrow.heic";
constexpr int64_t PhotoWidth = 3024, PhotoHeight = 4032, Box = 2048;

void CopyBaseline(benchmark::State &state) {
    std::vector<unsigned char> source(size_t(PhotoWidth) * PhotoHeight * 4, 1);
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}

void OpenAndReadRows(benchmark::State &state) {
    StartBaseRuntime();
    StartImageRuntime();
    const String path = StringFromUtf8(Photo);
    for (auto _ : state) {
        PictureSource source;
        if (!OpenPictureSource(source, path, Box, Box)) {
            state.SkipWithError(("cannot open " + Photo + ": " + source.Reason).c_str());
            return;
        }
        std::vector<unsigned char> row(size_t(source.RowsWidth) * 4);
        unsigned char *rows[] = {row.data()};
        for (int64_t y = 0; y < source.RowsHeight; y++) ReadSourceRows(source, rows, 1);
        benchmark::DoNotOptimize(row.data());
    }
}

} // namespace

BENCHMARK(CopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenAndReadRows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
