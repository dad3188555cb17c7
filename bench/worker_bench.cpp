// What the window's worker costs on top of the per-file step: twenty 12-megapixel
// JPEG photographs converted by ConvertOneFile alone (no sink, no thumbnails)
// against the same twenty dropped on the real main window (offscreen platform),
// converted by the worker thread while the main thread handles every status,
// draws each thumbnail and fills the log. Both write the same files; the output
// folder is emptied between iterations outside the timed part.
#include "app/event_loop.h"
#include "app/input_collection.h"
#include "app/job_status.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "convert/convert_file.h"
#include "runtime/base/text.h"
#include "runtime/ui/drops.h"
#include "runtime/ui/toolkit.h"
#include "tone/colour_table.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int PhotoWidth = 4000, PhotoHeight = 3000, PhotoCount = 20;

struct Fixture {
    std::string in, out;
    std::vector<std::string> paths;
};

Fixture &Shared() {
    static Fixture fixture;
    return fixture;
}

// Smooth light falloff, a few shapes and sensor-like grain: something the
// encoder has to work at, different for every picture.
std::vector<unsigned char> MakePhoto(unsigned seed) {
    std::vector<unsigned char> rgb(size_t(PhotoWidth) * PhotoHeight * 3);
    std::minstd_rand noise(seed);
    for (int y = 0; y < PhotoHeight; y++)
        for (int x = 0; x < PhotoWidth; x++) {
            unsigned char *p = &rgb[(size_t(y) * PhotoWidth + x) * 3];
            int dx = x - PhotoWidth / 2 - int(seed * 37 % 500), dy = y - PhotoHeight / 2;
            int light = 230 - (dx * dx + dy * dy) / 60000;
            int grain = int(noise() % 17) - 8;
            int band = ((x / (180 + int(seed))) + (y / 150)) & 1 ? 25 : 0;
            p[0] = (unsigned char)std::clamp(light + grain + band, 0, 255);
            p[1] = (unsigned char)std::clamp(light * 9 / 10 + grain, 0, 255);
            p[2] = (unsigned char)std::clamp(light * 7 / 10 + grain - band, 0, 255);
        }
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    std::vector<unsigned char> out;
    if (tjCompress2(handle, rgb.data(), PhotoWidth, PhotoWidth * 3, PhotoHeight, TJPF_RGB, &jpeg,
                    &size, TJSAMP_420, 90, 0) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

bool Prepare() {
    Fixture &f = Shared();
    if (!f.paths.empty()) return true;
    char in[] = "/tmp/tintwell-bench-in-XXXXXX", out[] = "/tmp/tintwell-bench-out-XXXXXX",
         data[] = "/tmp/tintwell-bench-data-XXXXXX";
    if (!mkdtemp(in) || !mkdtemp(out) || !mkdtemp(data)) return false;
    f.in = std::string(in) + "/", f.out = std::string(out) + "/";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_DATA_HOME", data, 1);
    if (!BuildMainWindow(0, nullptr)) return false;
    for (int i = 0; i < PhotoCount; i++) {
        std::vector<unsigned char> jpeg = MakePhoto(unsigned(i + 1));
        if (jpeg.empty()) return false;
        std::string path = f.in + "photo" + std::to_string(i + 1) + ".jpg";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<char *>(jpeg.data()), std::streamsize(jpeg.size()));
        f.paths.push_back(path);
    }
    return true;
}

void EmptyOutput() {
    for (auto &entry : std::filesystem::directory_iterator(Shared().out))
        std::filesystem::remove(entry.path());
}

int OutputCount() {
    int n = 0;
    for (auto &entry : std::filesystem::directory_iterator(Shared().out))
        n += entry.is_regular_file();
    return n;
}

// Outside the timed part: every photograph must have its output, and the folder
// is emptied for the next iteration. False (the run marked failed) otherwise.
bool CheckAndEmptyOutput(benchmark::State &state) {
    state.PauseTiming();
    bool complete = OutputCount() == PhotoCount;
    EmptyOutput();
    if (!complete) {
        state.SkipWithError("wrong number of outputs");
        return false;
    }
    state.ResumeTiming();
    return true;
}

void BM_StepAlone(benchmark::State &state) {
    if (!Prepare()) return state.SkipWithError("could not prepare the photographs");
    ConversionSettings settings{8192, 8192, 95};
    StatusSink quiet{};
    String folder = StringFromUtf8(Shared().out);
    for (auto _ : state) {
        int64_t k = 0;
        for (const std::string &path : Shared().paths)
            ConvertOneFile(StringFromUtf8(path), folder, settings, ToneShift, ++k, 0, quiet);
        if (!CheckAndEmptyOutput(state)) break;
    }
}

void BM_WindowWorker(benchmark::State &state) {
    if (!Prepare()) return state.SkipWithError("could not prepare the photographs");
    SetGadgetText(GadgetOutputFolder, StringFromUtf8(Shared().out));
    SetGadgetText(GadgetMaxWidth, u"8192");
    SetGadgetText(GadgetMaxHeight, u"8192");
    SetGadgetState(GadgetQuality, 1);
    std::string list;
    for (const std::string &path : Shared().paths) list += (list.empty() ? "" : "\n") + path;
    for (auto _ : state) {
        DeliverFileDrop(WindowMain, GadgetLog, StringFromUtf8(list), 5, 5);
        // The event loop's work: the drop starts the run, then every status.
        bool started = false;
        for (;;) {
            int code = WaitForEventFor(20);
            if (code) DispatchEvent(code);
            started = started || ConversionActive;
            if (started && !ConversionActive && !IsConversionRunning()) break;
        }
        if (!CheckAndEmptyOutput(state)) break;
    }
}

BENCHMARK(BM_StepAlone)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WindowWorker)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_StepAlone)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WindowWorker)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Fixture &f = Shared();
    if (!f.in.empty()) std::filesystem::remove_all(f.in);
    if (!f.out.empty()) std::filesystem::remove_all(f.out);
    EndRuntime();
    return 0;
}
