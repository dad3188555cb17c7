// The preview's re-toning of a 24-megapixel picture (RefreshPreview: one table
// pass over the kept luminance and the picture handed to the image button) and
// the help text through the RTF reader into the help editor. memcpy of the
// picture's 96 MB is the baseline measured in the same run.
#include "app/event_loop.h"
#include "app/preview_window.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "resources/help_text.h"
#include "runtime/base/text.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/ui/rich_text.h"
#include "runtime/ui/toolkit.h"
#include "tone/kernels.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int PhotoWidth = 6000, PhotoHeight = 4000;

std::string Folder;

bool Prepare() {
    static bool ready = [] {
        char folder[] = "/tmp/tintwell-bench-preview-XXXXXX";
        if (!mkdtemp(folder)) return false;
        Folder = std::string(folder) + "/";
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_DATA_HOME", folder, 1);
        if (!BuildMainWindow(0, nullptr)) return false;
        std::vector<unsigned char> rgb(size_t(PhotoWidth) * PhotoHeight * 3);
        for (size_t i = 0; i < rgb.size(); i++) rgb[i] = (unsigned char)((i * 2654435761u) >> 24);
        tjhandle handle = tjInitCompress();
        unsigned char *jpeg = nullptr;
        unsigned long size = 0;
        bool encoded = tjCompress2(handle, rgb.data(), PhotoWidth, PhotoWidth * 3, PhotoHeight,
                                   TJPF_RGB, &jpeg, &size, TJSAMP_420, 85, 0) == 0;
        if (encoded)
            std::ofstream(Folder + "photo.jpg", std::ios::binary)
                .write(reinterpret_cast<char *>(jpeg), std::streamsize(size));
        tjFree(jpeg);
        tjDestroy(handle);
        if (!encoded) return false;
        SetGadgetText(GadgetMaxWidth, u"8192");
        SetGadgetText(GadgetMaxHeight, u"8192");
        OpenPreview();
        DeliverFileDrop(WindowPreview, -1, StringFromUtf8(Folder + "photo.jpg"), 5, 5);
        for (int code; (code = PollEvent()) != 0;) DispatchEvent(code);
        return ImagePixelWidth(PreviewImage) == PhotoWidth;
    }();
    return ready;
}

void BM_MemcpyBaseline(benchmark::State &state) {
    std::vector<unsigned char> from(size_t(PhotoWidth) * PhotoHeight * 4, 1), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void BM_RefreshPreview(benchmark::State &state) {
    if (!Prepare()) return state.SkipWithError("could not open the preview with the photograph");
    for (auto _ : state) RefreshPreview();
}

// The table pass alone, without handing the picture to the button.
void BM_ApplyToneOnly(benchmark::State &state) {
    if (!Prepare()) return state.SkipWithError("could not open the preview with the photograph");
    for (auto _ : state) {
        OpenDrawTarget(ImageTarget(PreviewImage));
        ApplyTone(PreviewLuminance, TargetPixels(), TargetPitch(), TargetHeight(), TargetLayout(),
                  0);
        CloseDrawTarget();
    }
}

void BM_LoadHelpText(benchmark::State &state) {
    if (!Prepare()) return state.SkipWithError("no main window");
    int64_t window = OpenAppWindow(-1, 0, 0, 520, 350, u"", WindowFlagInvisible, -1);
    int64_t editor = EditorGadget(-1, 10, 10, 500, 330, EditorFlagReadOnly | EditorFlagWordWrap);
    EmbeddedData text = HelpTextData();
    for (auto _ : state)
        if (!LoadRichText(editor, text.bytes, text.size)) state.SkipWithError("not read");
    CloseAppWindow(window);
}

BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_RefreshPreview)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ApplyToneOnly)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadHelpText)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!Folder.empty()) std::filesystem::remove_all(Folder);
    EndRuntime();
    return 0;
}
