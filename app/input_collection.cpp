#include "app/input_collection.h"

#include "app/colour_panel.h"
#include "app/job_status.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "convert/conversion_worker.h"
#include "convert/jpeg_quality.h"
#include "runtime/base/numbers.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/images.h"
#include "runtime/image/path_target.h"
#include "runtime/ui/toolkit.h"
#include "tone/load_source.h"

#include <memory>

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

String FirstLine(const String &list) {
    size_t end = list.find(u'\n');
    return end == String::npos ? list : list.substr(0, end);
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

    String list = DroppedFileList();
    int n = int(CountOccurrences(list, u"\n")) + 1;
    if (n == 1 && PathSize(list) == PathIsFolder) {
        list = ExpandDroppedFolder(list, &n);
        if (n == 0) {
            AddGadgetItem(GadgetLog, -1, u"The folder you dropped doesn't contain any files.");
            return;
        }
    }
    SetBusyMode(1);
    auto job = std::make_unique<ConversionJob>();
    job->MaxWidth = int32_t(ParseInteger(GetGadgetText(GadgetMaxWidth)));
    job->MaxHeight = int32_t(ParseInteger(GetGadgetText(GadgetMaxHeight)));
    job->JpegQuality = JpegQualityOfChoice(GetGadgetState(GadgetQuality));
    job->FileCount = n;
    job->Text = Utf8Of(folder + u"\n" + list);
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
    LoadedImage loaded =
        LoadSourceImage(FirstLine(DroppedFileList()), SampleBoxWidth, SampleBoxHeight);
    if (loaded.image) {
        CatchInterfaceImage(int(ImageSample));
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
