// The conversion of one 24-megapixel photograph: TurboJPEG alone against the
// program's load + tone + save at full size and into a 2048 x 2048 box, the
// streamed JPEG conversion (decoder and encoder on two threads, band by band)
// against that full-size load + tone + save, and the streaming PNG writer
// against libpng with the same settings. memcpy of the
// 6000 x 4000 RGBA buffer is the baseline measured in the same run.
#include "convert/convert_file.h"
#include "convert/save_jpeg.h"
#include "convert/save_png.h"
#include "convert/tone_image.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tone/colour_table.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"
#include "tone/luma_tables.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int PhotoWidth = 6000, PhotoHeight = 4000;

struct Fixture {
    std::string folder;
    std::vector<unsigned char> photo; // the JPEG file
    std::vector<unsigned char> rgba;  // 6000 x 4000 pixels for the memcpy baseline
    int64_t boxImage = 0;             // a 2048-box load, for the PNG writers
};

Fixture &Shared() {
    static Fixture fixture;
    return fixture;
}

// A photograph: the IJG test picture enlarged smoothly to 6000 x 4000 with fine
// grain added, so the encoder meets texture rather than flat colour.
std::vector<unsigned char> MakePhoto() {
    int64_t image = 0;
    std::ifstream in(std::string(TINTWELL_TESTDATA) + "/jpeg/testorig.jpg", std::ios::binary);
    std::vector<unsigned char> source((std::istreambuf_iterator<char>(in)), {});
    int w = 0, h = 0, sub = 0, space = 0;
    tjhandle dec = tjInitDecompress();
    if (!source.empty() &&
        tjDecompressHeader3(dec, source.data(), source.size(), &w, &h, &sub, &space) == 0) {
        image = NewImage(-1, w, h, 24);
        OpenDrawTarget(ImageTarget(image));
        tjDecompress2(dec, source.data(), source.size(), TargetPixels(), w, int(TargetPitch()), h,
                      TJPF_RGBA, TJFLAG_ACCURATEDCT);
        CloseDrawTarget();
    } else {
        // No test data: a smooth synthetic scene instead.
        w = 240, h = 160;
        image = NewImage(-1, w, h, 24);
        OpenDrawTarget(ImageTarget(image));
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                unsigned char *p = TargetPixels() + y * TargetPitch() + x * 4;
                p[0] = (unsigned char)(x + y), p[1] = (unsigned char)(x * y / 97),
                p[2] = (unsigned char)(255 - y);
            }
        CloseDrawTarget();
    }
    tjDestroy(dec);
    ScaleImage(image, PhotoWidth, PhotoHeight, 0);
    OpenDrawTarget(ImageTarget(image));
    uint32_t seed = 2026;
    for (int y = 0; y < PhotoHeight; y++) {
        unsigned char *p = TargetPixels() + y * TargetPitch();
        for (int i = 0; i < PhotoWidth * 4; i++) {
            if ((i & 3) == 3) continue;
            seed = seed * 1664525u + 1013904223u;
            int v = p[i] + int(seed >> 28) - 8;
            p[i] = (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    tjhandle enc = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(enc, TargetPixels(), PhotoWidth, int(TargetPitch()), PhotoHeight, TJPF_RGBA, &jpeg,
                &size, TJSAMP_420, 92, TJFLAG_ACCURATEDCT);
    CloseDrawTarget();
    std::vector<unsigned char> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(enc);
    ReleaseImage(image);
    return out;
}

void SetUpOnce() {
    Fixture &f = Shared();
    if (!f.folder.empty()) return;
    StartBaseRuntime();
    StartImageRuntime();
    RegisterPngCodec();
    StartJpegHandles();
    BuildLumaTables();
    BuildColourTable(nullptr);
    char pattern[] = "/tmp/tintwell-bench-XXXXXX";
    f.folder = std::string(mkdtemp(pattern)) + "/";
    f.photo = MakePhoto();
    std::ofstream(f.folder + "photo.jpg", std::ios::binary)
        .write(reinterpret_cast<const char *>(f.photo.data()), std::streamsize(f.photo.size()));
    f.rgba.assign(size_t(PhotoWidth) * PhotoHeight * 4, 0);
    f.boxImage = LoadJpegScaled(StringFromUtf8(f.folder + "photo.jpg"), 2048, 2048);
    ToneImage(f.boxImage, 0);
}

void BM_MemcpyBaseline(benchmark::State &state) {
    SetUpOnce();
    std::vector<unsigned char> copy(Shared().rgba.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), Shared().rgba.data(), copy.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}

// (a) TurboJPEG on its own: full-size decode and a quality-95, 4:4:4, accurate
// DCT encode into memory.
void BM_TurboDecodeEncode(benchmark::State &state) {
    SetUpOnce();
    const auto &photo = Shared().photo;
    std::vector<unsigned char> pixels(size_t(PhotoWidth) * PhotoHeight * 4);
    tjhandle dec = tjInitDecompress(), enc = tjInitCompress();
    for (auto _ : state) {
        tjDecompress2(dec, photo.data(), photo.size(), pixels.data(), PhotoWidth, PhotoWidth * 4,
                      PhotoHeight, TJPF_RGBA, TJFLAG_ACCURATEDCT);
        unsigned char *jpeg = nullptr;
        unsigned long size = 0;
        tjCompress2(enc, pixels.data(), PhotoWidth, PhotoWidth * 4, PhotoHeight, TJPF_RGBA, &jpeg,
                    &size, TJSAMP_444, 95, TJFLAG_ACCURATEDCT);
        benchmark::DoNotOptimize(size);
        tjFree(jpeg);
    }
    tjDestroy(dec);
    tjDestroy(enc);
    state.counters["source_bytes"] = double(photo.size());
}

// (b), (c) The program's path for one file: load into the box, tone, save as JPEG.
void BM_LoadToneSaveJpeg(benchmark::State &state) {
    SetUpOnce();
    String source = StringFromUtf8(Shared().folder + "photo.jpg");
    String output = StringFromUtf8(Shared().folder + "out.jpg");
    int64_t box = state.range(0);
    for (auto _ : state) {
        int64_t image = LoadJpegScaled(source, box, box);
        int toned = ToneImage(image, 0);
        int saved = SaveJpeg(image, output, 95, 0);
        if (!image || !toned || !saved) state.SkipWithError("conversion failed");
        ReleaseImage(image);
        RemoveFile(output);
    }
}

// The same full-size conversion as BM_LoadToneSaveJpeg/0, streamed: the file it
// writes is the same, byte for byte.
void BM_StreamedJpeg(benchmark::State &state) {
    SetUpOnce();
    String source = StringFromUtf8(Shared().folder + "photo.jpg");
    std::string folder = Shared().folder + "streamed/";
    std::filesystem::create_directories(folder);
    for (auto _ : state) {
        if (ConvertOneFile(source, StringFromUtf8(folder), {0, 0, 95}, 0, 1, 0, {}) != StatusDone)
            state.SkipWithError("streamed conversion failed");
        std::filesystem::remove(folder + "photo.jpg");
    }
}

void BM_WritePngRgba(benchmark::State &state) {
    SetUpOnce();
    String output = StringFromUtf8(Shared().folder + "out.png");
    for (auto _ : state) {
        if (!WritePngRgba(Shared().boxImage, output)) state.SkipWithError("PNG write failed");
        RemoveFile(output);
    }
}

// libpng writing the same pixels: level 3, filtered strategy, Sub filter only.
// Plain C frame for libpng's longjmp: nothing with a destructor lives here.
int LibpngWrite(const char *path, const unsigned char *pixels, int w, int h, long pitch) {
    FILE *file = std::fopen(path, "wb");
    if (!file) return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        return 0;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 3);
    png_set_compression_strategy(png, 1); // Z_FILTERED
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; y++) png_write_row(png, pixels + y * pitch);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

void BM_LibpngSameSettings(benchmark::State &state) {
    SetUpOnce();
    std::string output = Shared().folder + "libpng.png";
    int64_t image = Shared().boxImage;
    OpenDrawTarget(ImageTarget(image));
    std::vector<unsigned char> pixels(TargetPixels(),
                                      TargetPixels() + TargetPitch() * TargetHeight());
    int w = int(TargetWidth()), h = int(TargetHeight());
    long pitch = long(TargetPitch());
    CloseDrawTarget();
    for (auto _ : state) {
        if (!LibpngWrite(output.c_str(), pixels.data(), w, h, pitch))
            state.SkipWithError("libpng failed");
        std::remove(output.c_str());
    }
}

BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_TurboDecodeEncode)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_LoadToneSaveJpeg)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_StreamedJpeg)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_LoadToneSaveJpeg)->Arg(2048)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_WritePngRgba)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_LibpngSameSettings)->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!Shared().folder.empty()) std::filesystem::remove_all(Shared().folder);
    return 0;
}
