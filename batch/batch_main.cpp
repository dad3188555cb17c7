// tintwell-batch: the window's conversion from the command line. See
// batch_options.h for the command line and tintwell-batch.1.in for the manual.
#include "batch/batch_inputs.h"
#include "batch/batch_options.h"
#include "batch/batch_report.h"
#include "batch/batch_run.h"
#include "batch/batch_tone.h"
#include "convert/jpeg_quality.h"
#include "convert/output_name.h"
#include "convert/stop_flag.h"
#include "resources/version.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/memory_budget.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tone/luma_tables.h"
#include "tone/settings_file.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int ExitDone = 0, ExitFailed = 1, ExitUsage = 2, ExitInterrupted = 130;
constexpr int32_t DefaultBox = 8192;

volatile std::sig_atomic_t Interrupted = 0;

// The files being converted end as the stop rules say; nothing new starts.
void OnStopSignal(int) {
    Interrupted = 1;
    RequestStop();
}

void CatchStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART; // a line being printed is not cut short
    sigemptyset(&action.sa_mask);
    // A closed terminal is a stop too: the summary is printed, no draft is left.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A reader that goes away (| head) must not kill the process in the middle of
    // writing a picture: the lost line is all that is lost.
    std::signal(SIGPIPE, SIG_IGN);
    // A file size limit (ulimit -f) fails the write that passes it, and so that
    // one file, instead of killing the process with the run half done.
    std::signal(SIGXFSZ, SIG_IGN);
}

int UsageError(const std::string &message) {
    std::fprintf(stderr, "tintwell-batch: %s\nTry 'tintwell-batch --help' for more.\n",
                 message.c_str());
    return ExitUsage;
}

// Inputs in all, for the progress line; -1 when the list can be read only once
// (standard input, a pipe) or a stop arrives while counting.
int64_t CountInputs(const BatchOptions &options) {
    struct stat status;
    if (!options.FilesFrom.empty() &&
        (options.FilesFrom == "-" || stat(options.FilesFrom.c_str(), &status) != 0 ||
         !S_ISREG(status.st_mode)))
        return -1;
    InputWalker walker;
    if (!StartInputWalk(&walker, options.Inputs, options.FilesFrom, options.Recursive)) return -1;
    walker.shardIndex = options.ShardIndex, walker.shardCount = options.ShardCount;
    int64_t count = 0;
    for (BatchInput input; NextBatchInput(&walker, &input);) {
        if (StopRequested()) {
            count = -1;
            break;
        }
        count++;
    }
    EndInputWalk(&walker);
    return count;
}

// Why the output folder cannot be made: a file in its place or above it is
// named; anything else is the system's reason.
std::string OutputFolderProblem(const String &folder, int error) {
    String step = folder;
    while (step.size() > 1 && step.back() == u'/') step.pop_back();
    for (;;) {
        if (PathSize(step) >= 0)
            return step.size() + 1 >= folder.size() ? "is a file"
                                                    : PrintableUtf8(step) + " is a file";
        size_t slash = step.rfind(u'/');
        if (slash == String::npos || slash == 0) break;
        step.resize(slash);
    }
    return std::strerror(error);
}

} // namespace

int main(int argc, char **argv) {
    EnsureStandardDescriptors();
    BatchOptions options;
    std::string error;
    if (!ParseBatchArguments(argc, argv, &options, &error)) return UsageError(error);
    CatchStopSignals();
    if (options.Help) {
        std::fputs(BatchUsageText(), stdout);
        return ExitDone;
    }
    if (options.Version) {
        std::printf("tintwell-batch %s\n", TintwellVersion);
        return ExitDone;
    }

    // The reason is in the file's own line; the platform reader's warnings about
    // files it refuses ("Unsupported JPEG data precision 12", "libpng error: ...",
    // the latter without a category) would only repeat it on standard error, in
    // the middle of the lines. A user's own logging rules win.
    setenv("QT_LOGGING_RULES", "qt.gui.imageio=false;qt.gui.imageio.*=false;default.warning=false",
           0);
    // libpng reports a refused file itself, in two writes ("libpng error: ..."
    // and then its line end); with standard error unbuffered a file's line on
    // standard output could land between them when both go to one place
    // (2>&1). Line buffering hands each message over whole.
    std::setvbuf(stderr, nullptr, _IOLBF, BUFSIZ);
    StartBaseRuntime();
    StartImageRuntime();
    RegisterPngCodec();
    BuildLumaTables();

    // The window's settings give the user presets and the defaults.
    StoredSettings stored;
    String folder = SettingsFolderPath();
    bool haveSettings = !folder.empty() && ReadSettingsFile(folder + u"Tintwell.dat", &stored);
    const StoredSettings *settings = haveSettings ? &stored : nullptr;

    if (!ChooseBatchTone(options.Preset, options.Stops, options.StopsGiven, settings, &error))
        return UsageError(error);
    if (options.ListPresets) {
        ListPresets(stdout, settings);
        return ExitDone;
    }
    if (!options.ExportLut.empty()) {
        if (ExportColourTable(options.ExportLut, options.Shift, &error)) return ExitDone;
        std::fprintf(stderr, "tintwell-batch: %s\n", error.c_str());
        return ExitFailed;
    }

    BatchRun run;
    run.Shift = options.Shift;
    run.Verbosity = options.Verbosity;
    if (options.BoxGiven) {
        run.Conversion.MaxWidth = options.MaxWidth, run.Conversion.MaxHeight = options.MaxHeight;
    } else if (settings && settings->Fields >= 2) {
        run.Conversion.MaxWidth = settings->MaxWidth,
        run.Conversion.MaxHeight = settings->MaxHeight;
    } else {
        run.Conversion.MaxWidth = run.Conversion.MaxHeight = DefaultBox;
    }
    run.Conversion.OutputFormat = options.Format;
    run.Conversion.ColourProfiles = options.ColourProfiles;
    if (options.Quality) {
        run.Conversion.JpegQuality = options.Quality;
    } else {
        bool stored = settings && settings->Fields == 3 && IsJpegQualityChoice(settings->Quality);
        run.Conversion.JpegQuality =
            JpegQualityOfChoice(stored ? settings->Quality : JpegChoiceHigh);
    }
    unsigned cores = std::thread::hardware_concurrency();
    run.Jobs =
        options.Jobs ? options.Jobs : int(cores ? std::min(cores, unsigned(BatchMaxJobs)) : 1);
    run.OutputFolder = StringFromUtf8(options.OutputFolder);
    if (run.OutputFolder.back() != u'/') run.OutputFolder += u'/';

    SetMemoryLimit(options.MemoryLimit ? options.MemoryLimit : DefaultMemoryLimit(), run.Jobs);

    if (options.Verbosity > 1)
        std::fprintf(
            stderr, "tone shift %d, box %dx%d, JPEG quality %d, %d jobs, %s of memory a job\n",
            run.Shift, run.Conversion.MaxWidth, run.Conversion.MaxHeight,
            run.Conversion.JpegQuality, run.Jobs, MemoryText(PictureMemoryShare()).c_str());

    run.SkipExisting = options.SkipExisting;
    InputWalker walker;
    if (!StartInputWalk(&walker, options.Inputs, options.FilesFrom, options.Recursive))
        return UsageError("cannot read --files-from " + options.FilesFrom);
    walker.shardIndex = options.ShardIndex, walker.shardCount = options.ShardCount;
    if (options.DryRun) {
        int64_t unreadable = DryRunBatch(run, &walker, stdout);
        EndInputWalk(&walker);
        if (Interrupted) return ExitInterrupted;
        return unreadable ? ExitFailed : ExitDone;
    }
    // The watch starts before the walk, so a file that arrives meanwhile is not
    // missed.
    FolderWatch watch;
    if (options.Watch) {
        if (!StartFolderWatch(&watch, options.Inputs, options.Recursive, &error)) {
            EndInputWalk(&walker);
            return UsageError(error);
        }
        watch.shardIndex = options.ShardIndex, watch.shardCount = options.ShardCount;
        run.Watch = &watch;
    }
    if (!MakeFolderPath(run.OutputFolder)) {
        std::string why = OutputFolderProblem(run.OutputFolder, errno);
        std::fprintf(stderr, "tintwell-batch: cannot make the output folder %s: %s\n",
                     options.OutputFolder.c_str(), why.c_str());
        EndFolderWatch(&watch);
        EndInputWalk(&walker);
        return ExitFailed;
    }
    RememberOwnDrafts = WalkMayMeetOutputs(options.Inputs, options.FilesFrom, options.OutputFolder);
    if (!options.Report.empty() && (run.Report = OpenBatchReport(options.Report, &error)) < 0) {
        std::fprintf(stderr, "tintwell-batch: %s\n", error.c_str());
        EndFolderWatch(&watch);
        EndInputWalk(&walker);
        return ExitFailed;
    }
    run.Progress = options.Verbosity > 0 && isatty(STDERR_FILENO) && !options.Watch;
    if (run.Progress) run.Total = CountInputs(options);
    BatchCounts counts = RunBatch(run, &walker, stdout, stderr);
    if (run.Report >= 0) close(run.Report);
    EndFolderWatch(&watch);
    EndInputWalk(&walker);
    if (Interrupted) return ExitInterrupted;
    return counts.Failed || counts.Cancelled ? ExitFailed : ExitDone;
}
