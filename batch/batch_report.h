// The --report file of a batch run: JSON Lines, one object per input in the
// order of the log lines, then one summary object. Each line reaches the file
// in one write(2) on a descriptor opened for appending, so a run killed at any
// moment leaves only whole lines; a write that falls short (a full disk) is cut
// back off. The fields are listed in tintwell-batch.1.in. Called under the run's
// lock, one line at a time.
#pragma once

#include "batch/batch_inputs.h"
#include "convert/conversion_types.h"

#include <cstdint>
#include <string>

// The status of an input whose output was there already (--skip-existing),
// beside the conversion statuses of conversion_status.h.
constexpr int StatusSkipped = 100;

// What one line of the report tells about a file.
struct ReportEntry {
    int Status = 0;     // StatusDone, StatusError, StatusCancelled or StatusSkipped
    String Output;      // the file written, or the one that made it skipped; may be empty
    std::string Reason; // why it failed; empty otherwise
    int64_t Millis = 0; // from the start of its conversion to its end
    int64_t Bytes = 0;  // the size of the file written
};

// Opens (makes, or empties) the report file. Its descriptor, or -1 with *error
// saying why.
int OpenBatchReport(const std::string &path, std::string *error);

// The JSON object of one file, with its line end.
std::string ReportFileLine(const BatchInput &input, const ConversionOutcome &outcome,
                           const ReportEntry &entry);

// The last line: the counts of the run and its length.
std::string ReportSummaryLine(int64_t done, int64_t failed, int64_t cancelled, int64_t skipped,
                              int64_t notStarted, int64_t millis);

// Appends `line` whole, or not at all. False when it could not.
bool WriteReportLine(int report, const std::string &line);
