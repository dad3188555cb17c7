#include "batch/batch_run.h"

#include "batch/batch_report.h"
#include "batch/batch_resume.h"
#include "convert/output_name.h"
#include "convert/stop_flag.h"
#include "runtime/base/dates.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t ProgressPeriodMs = 100;
// How long a write to a full output waits before it looks at the stop flag.
constexpr int OutputWaitMs = 100;

// Set when a stop found the output full: what is left to print is dropped, so
// the stop ends the run instead of a write that nobody will ever take.
std::atomic<bool> OutputGivenUp{false};

// Writes `text` whole to `out`. The descriptor is written directly, after poll()
// says it takes bytes, so a full pipe (a reader that stopped reading) holds the
// run only until a stop is requested. A signal does not cut the text: a write it
// interrupts goes on with the rest.
void WriteText(std::FILE *out, const std::string &text) {
    std::fflush(out);
    int descriptor = fileno(out);
    if (descriptor < 0) {
        std::fputs(text.c_str(), out);
        return;
    }
    size_t done = 0;
    while (done < text.size() && !OutputGivenUp) {
        pollfd ready = {descriptor, POLLOUT, 0};
        int events = poll(&ready, 1, OutputWaitMs);
        if (events == 0 || (events < 0 && errno == EINTR)) {
            if (StopRequested()) OutputGivenUp = true;
            continue;
        }
        if (events < 0) return;
        ssize_t n = write(descriptor, text.data() + done, text.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            return; // the reader is gone: the text is all that is lost
    }
}

// A finished file's log line and report line, kept until the files before it
// are finished too.
struct FinishedLines {
    std::string log, report;
};

// What the workers share; everything behind `lock`.
struct SharedRun {
    std::mutex lock;
    InputWalker *walker = nullptr;
    bool inputsEnded = false;
    int64_t handedOut = 0;
    int64_t nextToPrint = 0;
    std::map<int64_t, FinishedLines> waiting; // finished lines behind an earlier file
    std::set<String> cleaned;                 // output folders rid of stale drafts
    BatchCounts counts;
    int64_t pixels = 0;
    int64_t start = 0, lastProgress = 0;
};

// A duration as hours, minutes and seconds, the hours going past 24.
std::string Duration(int64_t seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%02lldh %02lldm %02llds", (long long)(seconds / 3600),
                  (long long)(seconds / 60 % 60), (long long)(seconds % 60));
    return text;
}

void DrawProgress(SharedRun &shared, const BatchRun &run, std::FILE *err, bool linesCame) {
    int64_t now = MillisecondClock();
    // After new lines the count is drawn at once; the clock starts near zero,
    // so an early time cannot stand for "long ago".
    if (!linesCame && now - shared.lastProgress < ProgressPeriodMs) return;
    shared.lastProgress = now;
    // Files whose lines are out, so the count never runs ahead of the lines.
    int64_t finished = shared.nextToPrint;
    double seconds = double(std::max<int64_t>(now - shared.start, 1)) / 1000.0;
    double megapixels = double(shared.pixels) / 1e6 / seconds;
    std::string left;
    if (run.Total > 0 && finished > 0) {
        int64_t remaining = int64_t(seconds / double(finished) * double(run.Total - finished));
        left = ", " + Duration(remaining) + " left";
    }
    std::string total = run.Total >= 0 ? "/" + std::to_string(run.Total) : std::string();
    std::fprintf(err, "\r\033[K%lld%s files, %.1f MP/s%s", (long long)finished, total.c_str(),
                 megapixels, left.c_str());
    std::fflush(err);
}

// Records one finished file and prints every line that is now in order; its
// report line (when there is a report) goes to the report in the same order.
void Finish(SharedRun &shared, const BatchRun &run, int64_t index, int status,
            const std::string &line, const std::string &reportLine, int64_t pixels, std::FILE *out,
            std::FILE *err) {
    std::lock_guard<std::mutex> hold(shared.lock);
    if (status == StatusDone)
        shared.counts.Done++;
    else if (status == StatusCancelled)
        shared.counts.Cancelled++;
    else if (status == StatusSkipped)
        shared.counts.Skipped++;
    else
        shared.counts.Failed++;
    shared.pixels += pixels;
    bool shown = run.Verbosity > 0 || status == StatusError;
    shared.waiting[index] = {shown ? line : std::string(), reportLine};
    std::string lines;
    for (auto at = shared.waiting.find(shared.nextToPrint); at != shared.waiting.end();
         at = shared.waiting.find(shared.nextToPrint)) {
        if (!at->second.log.empty()) lines += at->second.log + "\n";
        if (run.Report >= 0) WriteReportLine(run.Report, at->second.report);
        shared.waiting.erase(at);
        shared.nextToPrint++;
    }
    bool printed = !lines.empty();
    if (printed && run.Progress) {
        // The progress line goes before the files' lines come.
        std::fputs("\r\033[K", err);
        std::fflush(err);
    }
    if (printed) WriteText(out, lines);
    if (run.Progress) {
        DrawProgress(shared, run, err, printed);
    }
}

// The next input: from the walk, then from the watch. 0 when there is none
// (for now, with a watch).
int TakeInput(SharedRun *shared, const BatchRun *run, BatchInput *input) {
    while (!shared->inputsEnded) {
        if (!NextBatchInput(shared->walker, input)) {
            shared->inputsEnded = true;
            break;
        }
        // A file that changed a moment ago may still be being written.
        if (!run->Watch || !LeaveToWatch(run->Watch, *input)) return 1;
    }
    return run->Watch && NextWatchedInput(run->Watch, input);
}

// The report's line of a finished file; empty without a report.
std::string ReportOf(const BatchRun &run, const BatchInput &input, int status,
                     const ConversionOutcome &outcome, String output, int64_t millis) {
    if (run.Report < 0) return std::string();
    ReportEntry entry{status, output, std::string(), millis, 0};
    if (status == StatusError) entry.Reason = FailureReason(input, outcome);
    if (status == StatusDone) entry.Bytes = std::max<int64_t>(PathSize(output), 0);
    return ReportFileLine(input, outcome, entry);
}

void Work(SharedRun *shared, const BatchRun *run, std::FILE *out, std::FILE *err) {
    const StatusSink quiet{};
    for (;;) {
        BatchInput input;
        int64_t index = 0;
        String folder;
        bool taken;
        {
            std::lock_guard<std::mutex> hold(shared->lock);
            // Nothing new starts once a stop is requested.
            if (StopRequested()) return;
            taken = TakeInput(shared, run, &input);
            if (!taken && !run->Watch) return;
            // A stop that came while the walk looked for this file: it is not started.
            if (taken && StopRequested()) {
                shared->counts.NotStarted++;
                return;
            }
            if (taken) {
                index = shared->handedOut++;
                folder = run->OutputFolder + input.Relative;
                if (shared->cleaned.insert(folder).second) RemoveStaleDrafts(folder);
            }
        }
        if (!taken) {
            WaitForWatchedFiles(run->Watch, OutputWaitMs);
            continue;
        }
        ConversionOutcome outcome;
        int status;
        if (!input.Error.empty()) {
            Finish(*shared, *run, index, StatusError, BatchLine(input, StatusError, outcome),
                   ReportOf(*run, input, StatusError, outcome, String(), 0), 0, out, err);
            continue;
        }
        if (run->SkipExisting) {
            String plain = PlainOutputName(input.Path, folder, run->Conversion.OutputFormat);
            if (!plain.empty() && PathSize(plain) >= 0) {
                Finish(*shared, *run, index, StatusSkipped,
                       BatchLine(input, StatusSkipped, outcome),
                       ReportOf(*run, input, StatusSkipped, outcome, plain, 0), 0, out, err);
                continue;
            }
        }
        int64_t start = MillisecondClock();
        if (!input.Relative.empty() && !MakeFolderPath(folder)) {
            status = StatusError;
            outcome.FailedStage = StageSave;
            outcome.SaveError = errno;
            outcome.Output = folder;
        } else {
            status = ConvertOneFile(input.Path, folder, run->Conversion, run->Shift, index + 1, 0,
                                    quiet, &outcome);
        }
        std::string report =
            ReportOf(*run, input, status, outcome, outcome.Placed, MillisecondClock() - start);
        Finish(*shared, *run, index, status, BatchLine(input, status, outcome), report,
               outcome.Pixels, out, err);
    }
}

} // namespace

int MakeFolderPath(const String &folder) {
    int failure = 0; // the errno of the last folder that could not be made
    auto make = [&](const String &step) {
        // A rival job may make it first; that is no failure. A folder made here
        // holds only outputs, so the input walk passes it by.
        if (PathSize(step) != PathMissing) return;
        if (MakeFolder(step))
            RememberOwnOutput(step);
        else
            failure = errno;
    };
    for (size_t slash = folder.find(u'/', 1); slash != String::npos;
         slash = folder.find(u'/', slash + 1))
        make(folder.substr(0, slash));
    String whole = folder;
    while (whole.size() > 1 && whole.back() == u'/') whole.pop_back();
    make(whole);
    if (PathSize(whole) == PathIsFolder) return 1;
    errno = failure ? failure : ENOTDIR; // what the caller reports
    return 0;
}

std::string FailureReason(const BatchInput &input, const ConversionOutcome &outcome) {
    // An input's own error was known before the file was tried.
    if (!input.Error.empty()) return input.Error;
    if (outcome.FailedStage == StageSave)
        return "cannot write " + PrintableUtf8(outcome.Output) + ": " +
               std::strerror(outcome.SaveError ? outcome.SaveError : EIO);
    return outcome.Reason;
}

std::string BatchLine(const BatchInput &input, int status, const ConversionOutcome &outcome) {
    // One line per file, whatever the name holds: control characters (a line
    // feed in a name, say) are shown as "?", bytes that are not UTF-8 as U+FFFD.
    std::string shown = PrintableUtf8(input.Name);
    switch (status) {
    case StatusDone:
        return "[Done]  " + shown;
    case StatusCancelled:
        return "[Cancelled]  " + shown;
    case StatusSkipped:
        return "[Skipped]  " + shown;
    default:
        return "[Error]  " + shown + "  " + FailureReason(input, outcome);
    }
}

BatchCounts RunBatch(const BatchRun &run, InputWalker *walker, std::FILE *out, std::FILE *err) {
    SharedRun shared;
    shared.walker = walker;
    shared.start = MillisecondClock();
    // The output folder itself at the start; its sub-folders as files go to them.
    shared.cleaned.insert(run.OutputFolder);
    RemoveStaleDrafts(run.OutputFolder);
    std::vector<std::thread> workers;
    for (int n = 0; n < std::max(run.Jobs, 1); n++)
        workers.emplace_back(Work, &shared, &run, out, err);
    for (std::thread &worker : workers) worker.join();
    if (run.Progress) {
        std::fputs("\r\033[K", err);
        std::fflush(err);
    }
    BatchCounts &c = shared.counts;
    // After a stop the rest of the walk is only counted: what was never started.
    if (StopRequested()) {
        BatchInput rest;
        while (TakeInput(&shared, &run, &rest)) c.NotStarted++;
    }
    int64_t millis = MillisecondClock() - shared.start;
    if (run.Report >= 0)
        WriteReportLine(run.Report, ReportSummaryLine(c.Done, c.Failed, c.Cancelled, c.Skipped,
                                                      c.NotStarted, millis));
    if (run.Verbosity > 0) {
        std::string counts = std::to_string(c.Done) + " done, " + std::to_string(c.Failed) +
                             " failed, " + std::to_string(c.Cancelled) + " cancelled";
        if (run.SkipExisting) counts += ", " + std::to_string(c.Skipped) + " skipped";
        if (c.NotStarted) counts += ", " + std::to_string(c.NotStarted) + " not started";
        WriteText(out, counts + " in " + Duration(millis / 1000) + "\n");
    }
    return c;
}

int64_t DryRunBatch(const BatchRun &run, InputWalker *walker, std::FILE *out) {
    int64_t unreadable = 0;
    // The names this dry run has given out: a real run takes them one after the
    // other, so two inputs of one name get the names the savers would give them.
    std::set<String> given;
    for (BatchInput input; !StopRequested() && NextBatchInput(walker, &input);) {
        String output;
        if (input.Error.empty())
            output = PlainOutputName(input.Path, run.OutputFolder + input.Relative,
                                     run.Conversion.OutputFormat);
        if (output.empty()) {
            unreadable++;
            WriteText(out, BatchLine(input, StatusError, ConversionOutcome{}) + "\n");
            continue;
        }
        if (run.SkipExisting && PathSize(output) >= 0) {
            WriteText(out, BatchLine(input, StatusSkipped, ConversionOutcome{}) + "\n");
            continue;
        }
        // The savers' own extensions: "jpg" and "jpeg" for JPEG, "png" for PNG.
        std::u16string_view extension =
            TextLower(ExtensionPart(output)) == u"png" ? PngExtension : JpegExtension;
        String stamped = StampedOutputName(output, extension);
        for (int64_t attempt = 1; PathSize(output) != PathMissing || given.count(output); attempt++)
            output = NumberedOutputName(stamped, attempt);
        given.insert(output);
        WriteText(out, PrintableUtf8(input.Path) + " -> " + PrintableUtf8(output) + "\n");
    }
    return unreadable;
}
