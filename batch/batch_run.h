// Converting the inputs of a batch run: N worker threads take files from the
// input walk one at a time and convert each with the window's per-file step;
// the log lines come out in input order, then the summary. Also the dry run.
// Main thread; the workers it starts end before it returns.
#pragma once

#include "batch/batch_inputs.h"
#include "convert/convert_file.h"

#include <cstdio>

struct BatchRun {
    String OutputFolder; // ends with "/", exists
    ConversionSettings Conversion;
    int Shift = 0;
    int Jobs = 1;
    int Verbosity = 1;     // 0: failures only, no summary
    bool Progress = false; // the progress line on `err`
    int64_t Total = -1;    // inputs in all, when known (for the progress line)
};

// Counts of a finished run.
struct BatchCounts {
    int64_t Done = 0, Failed = 0, Cancelled = 0;
};

// Converts every input the walk gives until it ends or a stop is requested,
// writing one line per file to `out` and the summary after them. When a stop
// finds `out` full (a reader that stopped reading), what is left unwritten is
// dropped.
BatchCounts RunBatch(const BatchRun &run, InputWalker *walker, std::FILE *out, std::FILE *err);

// Writes "input -> output" for each input: the name the savers would use now,
// the inputs before it counted as written. Nothing is written to disk. Answers the number of inputs
// that cannot be read.
int64_t DryRunBatch(const BatchRun &run, InputWalker *walker, std::FILE *out);

// The line of one file: "[Done]  name", or "[Error]  name  reason", as the log
// shows it with the reason after the name (the input's own error, the loader's
// reason, else one found by looking at the file); control characters of the
// name are shown as "?".
std::string BatchLine(const BatchInput &input, int status, const ConversionOutcome &outcome);

// Makes `folder` and each missing folder above it, owner-only (0700). 1 when the
// folder exists afterwards.
int MakeFolderPath(const String &folder);
