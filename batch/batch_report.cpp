#include "batch/batch_report.h"

#include "convert/conversion_status.h"
#include "runtime/base/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct StatusName {
    int status;
    const char *name;
};
const StatusName StatusNames[] = {
    {StatusDone, "done"},
    {StatusError, "failed"},
    {StatusCancelled, "cancelled"},
    {StatusSkipped, "skipped"},
};

const char *NameOfStatus(int status) {
    for (const StatusName &s : StatusNames)
        if (s.status == status) return s.name;
    return "failed";
}

// A JSON string of UTF-8 text (the names' bytes that are not UTF-8 were made
// U+FFFD when they became Strings).
std::string Quoted(const std::string &text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += char(c);
        }
    }
    return quoted + "\"";
}

std::string QuotedOrNull(const std::string &text) {
    return text.empty() ? "null" : Quoted(text);
}

std::string Field(const char *name, int64_t value) {
    return std::string(",\"") + name + "\":" + std::to_string(value);
}

} // namespace

int OpenBatchReport(const std::string &path, std::string *error) {
    int report = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    if (report < 0) *error = "cannot write the report " + path + ": " + std::strerror(errno);
    return report;
}

std::string ReportFileLine(const BatchInput &input, const ConversionOutcome &outcome,
                           const ReportEntry &entry) {
    bool done = entry.Status == StatusDone;
    std::string line = "{\"type\":\"file\",\"input\":" + Quoted(Utf8Of(input.Path)) +
                       ",\"output\":" + QuotedOrNull(Utf8Of(entry.Output)) + ",\"status\":\"" +
                       NameOfStatus(entry.Status) + "\",\"reason\":" + QuotedOrNull(entry.Reason);
    line += Field("source_width", done ? outcome.SourceWidth : 0);
    line += Field("source_height", done ? outcome.SourceHeight : 0);
    line += Field("output_width", done ? outcome.OutputWidth : 0);
    line += Field("output_height", done ? outcome.OutputHeight : 0);
    line += Field("ms", entry.Millis);
    line += Field("bytes", entry.Bytes);
    return line + "}\n";
}

std::string ReportSummaryLine(int64_t done, int64_t failed, int64_t cancelled, int64_t skipped,
                              int64_t notStarted, int64_t millis) {
    return "{\"type\":\"summary\"" + Field("done", done) + Field("failed", failed) +
           Field("cancelled", cancelled) + Field("skipped", skipped) +
           Field("not_started", notStarted) + Field("ms", millis) + "}\n";
}

bool WriteReportLine(int report, const std::string &line) {
    off_t before = lseek(report, 0, SEEK_END);
    ssize_t n = write(report, line.data(), line.size());
    if (n == ssize_t(line.size())) return true;
    if (n > 0 && before >= 0 && ftruncate(report, before) != 0) return false;
    return false;
}
