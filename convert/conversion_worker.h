// The conversion worker: one thread that converts the files of a job one after
// the other and reports every stage through the job's status sink.
//
// The job is a snapshot taken when the conversion starts (the maximum box, the
// JPEG quality, the output folder and the file entries); the starter builds it,
// the worker owns it from the moment its thread runs and frees it before it ends.
#pragma once

#include "convert/conversion_status.h"
#include "convert/jpeg_quality.h"
#include "runtime/base/string_scratch.h"

#include <atomic>
#include <cstdint>
#include <vector>

struct ConversionJob {
    int32_t MaxWidth = 0;
    int32_t MaxHeight = 0;
    int32_t JpegQuality = JpegQualityHigh;
    String OutputFolder;       // ending in "/"
    std::vector<String> Paths; // full paths, converted in this order
    StatusSink Sink;
};

// Thread number (runtime/base/threads.h) of the running worker, 0 when none. Set
// by the starter; set back to 0 by the worker just before its final status.
inline std::atomic<int64_t> WorkerThread{0};

// The last worker started, never cleared by the worker: the quit sequence waits
// for this thread, which may still be reporting after it cleared WorkerThread.
inline std::atomic<int64_t> LastWorkerThread{0};

// The thread procedure: `argument` is a ConversionJob* made with new, which the
// worker takes over. Entry k of Paths (1-based, every entry counts) gets a name
// buffer (malloc'd UTF-8 of its file name, zero-terminated) that travels as the
// data of its statuses; the sink's owner frees it with the entry's final status.
// An entry whose name is empty is skipped. After each named entry
// StatusRemaining carries the number of entries - k; StatusFinished carries the
// elapsed milliseconds, last of all.
void ConversionWorker(int64_t argument);

// The non-hidden entries of one folder that are not folders (no descent), as
// full paths, in the order the listing gives them: files, and links whatever
// they lead to (a dangling link or one to a folder ends as an error, as do names
// that are not UTF-8). Empty when the folder cannot be listed.
std::vector<String> ExpandDroppedFolder(const String &folder);

// The path of one job entry as it is converted: a single trailing "/" is taken
// off, so a folder dropped as "…/name/" keeps its name (and fails as a folder).
String EntryPath(const String &line);
