// Converting the inputs of a batch run: N worker threads take files from the
// input walk one at a time and convert each with the window's per-file step;
// the log lines come out in input order, then the summary. Also the dry run.
// Main thread; the workers it starts end before it returns.
#pragma once

#include "batch/batch_inputs.h"
#include "batch/batch_watch.h"
#include "convert/convert_file.h"

#include <cstdio>

struct BatchRun {
    String OutputFolder; // ends with "/", exists
    ConversionSettings Conversion;
    int Shift = 0;
    int Jobs = 1;
    int Verbosity = 1;            // 0: failures only, no summary
    bool Progress = false;        // the progress line on `err`
    int64_t Total = -1;           // inputs in all, when known (for the progress line)
    bool SkipExisting = false;    // leave out inputs whose output name is taken
    int Report = -1;              // the --report file's descriptor, -1 for none
    FolderWatch *Watch = nullptr; // --watch: after the inputs, what appears here
};

// Counts of a finished run. NotStarted: inputs a stop left untouched.
struct BatchCounts {
    int64_t Done = 0, Failed = 0, Cancelled = 0, Skipped = 0, NotStarted = 0;
};

// Converts every input the walk gives until it ends (with a watch, only when a
// stop is requested) or a stop is requested, writing one line per file to `out`
// and the summary after them, and the same to the report. Drafts that killed
// runs left (batch_resume.h) are removed from each output folder before the
// first file goes to it. When a stop
// finds `out` full (a reader that stopped reading), what is left unwritten is
// dropped.
BatchCounts RunBatch(const BatchRun &run, InputWalker *walker, std::FILE *out, std::FILE *err);

// Writes "input -> output" for each input: the name the savers would use now,
// the inputs before it counted as written. Nothing is written to disk. Answers the number of inputs
// that cannot be read.
int64_t DryRunBatch(const BatchRun &run, InputWalker *walker, std::FILE *out);

// Why a file failed: the input's own error, the loader's reason, or the
// writer's.
std::string FailureReason(const BatchInput &input, const ConversionOutcome &outcome);

// The line of one file: "[Done]  name", "[Skipped]  name" (batch_report.h), or
// "[Error]  name  reason", as the log
// shows it with the reason after the name (the input's own error, the loader's
// reason, else one found by looking at the file); control characters of the
// name are shown as "?".
std::string BatchLine(const BatchInput &input, int status, const ConversionOutcome &outcome);

// Makes `folder` and each missing folder above it, owner-only (0700). 1 when the
// folder exists afterwards.
int MakeFolderPath(const String &folder);
