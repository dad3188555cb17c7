#include "convert/conversion_worker.h"

#include "convert/convert_file.h"
#include "convert/stop_flag.h"
#include "runtime/base/dates.h"
#include "runtime/base/listing.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "tone/colour_table.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

// The final status of a run must arrive, or the window would stay busy for
// good: a post that fails for want of memory is tried again a little later.
void ReportFinished(const StatusSink &sink, int64_t elapsed) {
    for (int attempt = 0; attempt < 1000; attempt++) {
        if (ReportStatus(sink, StatusFinished, elapsed, 0)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

char *NewNameBuffer(const std::string &name) {
    auto *buffer = static_cast<char *>(std::malloc(name.size() + 1));
    if (buffer) std::memcpy(buffer, name.c_str(), name.size() + 1);
    return buffer;
}

} // namespace

String EntryPath(const String &line) {
    if (line.size() > 1 && line.back() == u'/') return line.substr(0, line.size() - 1);
    return line;
}

void ConversionWorker(int64_t argument) {
    std::unique_ptr<ConversionJob> job(reinterpret_cast<ConversionJob *>(argument));
    int64_t start = MillisecondClock();
    StatusSink sink = job->Sink;
    ConversionSettings settings{job->MaxWidth, job->MaxHeight, job->JpegQuality};
    int64_t count = int64_t(job->Paths.size());
    for (int64_t k = 1; k <= count && !StopRequested(); k++) {
        String path = EntryPath(job->Paths[size_t(k - 1)]);
        String name = FileNamePart(path);
        if (name.empty()) continue;
        char *buffer = NewNameBuffer(Utf8Of(name));
        if (buffer) {
            ConvertOneFile(path, job->OutputFolder, settings, ToneShift, k,
                           reinterpret_cast<int64_t>(buffer), sink);
        }
        ReportStatus(sink, StatusRemaining, count - k, 0);
    }
    job.reset();
    int64_t elapsed = MillisecondClock() - start;
    WorkerThread.exchange(0);
    ReportFinished(sink, elapsed);
}

std::vector<String> ExpandDroppedFolder(const String &folder) {
    std::vector<String> paths;
    int64_t listing = OpenListing(-1, folder);
    if (!listing) return paths;
    String base = folder;
    if (base.empty() || base.back() != u'/') base += u'/';
    while (NextListingEntry(listing)) {
        String name = ListingEntryName(listing);
        if (ListingEntryKind(listing) != ListingEntryFile || name.empty() || name[0] == u'.')
            continue;
        // Every entry but a folder is taken, links included: a link that leads
        // nowhere or to a folder, like a name that is not UTF-8 (its bad bytes
        // replaced), fails in the worker and shows as an "[Error]" line instead
        // of being lost.
        paths.push_back(base + name);
    }
    CloseListing(listing);
    return paths;
}
