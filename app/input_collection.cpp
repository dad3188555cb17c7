#include "app/input_collection.h"

#include "app/colour_panel.h"
#include "app/job_status.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "convert/conversion_worker.h"
#include "convert/jpeg_quality.h"
#include "resources/pictures.h"
#include "runtime/base/numbers.h"
#include "runtime/base/paths.h"
#include "runtime/image/codecs.h"
#include "runtime/image/images.h"
#include "runtime/image/path_target.h"
#include "runtime/ui/toolkit.h"
#include "tone/load_source.h"

#include <memory>
#include <utility>

int64_t (*SpawnWorkerThread)(ThreadProcedure procedure, int64_t argument) = SpawnThread;

namespace {

// The sample picture's box and the part of the background it may cover.
constexpr int SampleBoxWidth = 256;
constexpr int SampleBoxHeight = 172;
constexpr int SampleClipHeight = 171;

} // namespace

void RefuseWhileProcessing() {
    ShowMessageBox(u"Processing", u"Sorry but you can't drop files while processing!",
                   MessageBoxOk);
}

std::vector<String> DroppedPaths() {
    String list = DroppedFileList();
    std::vector<String> paths;
    size_t start = 0;
    for (size_t end; (end = list.find(u'\n', start)) != String::npos; start = end + 1)
        paths.push_back(list.substr(start, end - start));
    paths.push_back(list.substr(start));
    return paths;
}

void StartConversion() {
    String folder = GetGadgetText(GadgetOutputFolder);
    if (IsConversionRunning()) {
        RefuseWhileProcessing();
        return;
    }
    if (folder.empty()) {
        ShowMessageBox(u"Output folder", u"Please select an output folder!", MessageBoxOk);
        return;
    }
    HideGadget(GadgetDropBanner, 1);
    SetGadgetText(GadgetLog, u"Processing ...");
    AddGadgetItem(GadgetLog, -1, u"");

    std::vector<String> paths = DroppedPaths();
    if (paths.size() == 1 && PathSize(paths[0]) == PathIsFolder) {
        paths = ExpandDroppedFolder(paths[0]);
        if (paths.empty()) {
            AddGadgetItem(GadgetLog, -1, u"The folder you dropped doesn't contain any files.");
            return;
        }
    }
    SetBusyMode(1);
    auto job = std::make_unique<ConversionJob>();
    job->MaxWidth = int32_t(ParseInteger(GetGadgetText(GadgetMaxWidth)));
    job->MaxHeight = int32_t(ParseInteger(GetGadgetText(GadgetMaxHeight)));
    job->JpegQuality = JpegQualityOfChoice(GetGadgetState(GadgetQuality));
    job->OutputFolder = folder;
    job->Paths = std::move(paths);
    job->Sink = WindowStatusSink();

    // The run counts as running before the thread exists, so its end can never
    // be seen before its start.
    ConversionActive = 1;
    int64_t thread = SpawnWorkerThread(ConversionWorker, reinterpret_cast<int64_t>(job.get()));
    if (!thread) {
        ConversionActive = 0;
        SetBusyMode(0);
        return; // the job goes with its owner here
    }
    job.release(); // the worker owns it now
    NoteWorkerStarted(thread);
}

void LoadSampleImage() {
    if (IsConversionRunning()) {
        RefuseWhileProcessing();
        return;
    }
    LoadedImage loaded = LoadSourceImage(DroppedPaths().front(), SampleBoxWidth, SampleBoxHeight);
    if (loaded.image) {
        EmbeddedData background = PictureData(PictureSampleBackground);
        DecodeImageFromMemory(ImageSample, background.bytes, int64_t(background.size));
        if (OpenPathTarget(ImagePathTarget(ImageSample))) {
            PathAddRect(0, 0, SampleBoxWidth, SampleClipHeight);
            PathClip();
            PathTranslate(PathTargetWidth() / 2, PathTargetHeight() / 2 - 10);
            PathOrientAboutOrigin(loaded.orientation);
            PathMoveTo(-double(ImagePixelWidth(loaded.image) / 2),
                       -double(ImagePixelHeight(loaded.image) / 2));
            PathDrawImage(loaded.image, 255);
            ClosePathTarget();
        }
        ReleaseImage(loaded.image);
    }
    RedrawSample();
}

void ChooseOutputFolder() {
    String start = GetGadgetText(GadgetOutputFolder);
    if (start.empty()) start = HomeFolder();
    String chosen = ChooseFolderDialog(u"", start);
    if (chosen.empty()) return;
    if (chosen.back() != u'/') chosen += u'/';
    SetGadgetText(GadgetOutputFolder, chosen);
}
