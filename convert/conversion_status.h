// What a conversion reports about each file, and where it reports it to.
//
// The per-file step and the worker never touch a window: they hand every status
// to a sink (a routine and its context). The main window's sink posts the status
// as an event for the event loop; a caller without a window gives its own.
// Callable from the thread that converts.
#pragma once

#include <cstdint>

// Status codes, in the window field of the main window's status events.
constexpr int StatusLoading = 0;    // object: ordinal k; data: name buffer
constexpr int StatusSaving = 1;     // after toning, before the save
constexpr int StatusDone = 2;       // the save succeeded
constexpr int StatusError = -1;     // loading or saving failed, no stop requested
constexpr int StatusCancelled = -2; // not saved and a stop was requested
constexpr int StatusRemaining = -3; // object: files left; no data
constexpr int StatusFinished = -4;  // object: elapsed milliseconds; no data
constexpr int StatusThumbnail = -9; // object: k; data: image number (the sink owns it)

struct StatusSink {
    // Takes one status. Answers 1 when the status was taken; for StatusThumbnail a
    // 0 leaves the image with the caller, which frees it.
    int (*report)(void *context, int status, int64_t object, int64_t data) = nullptr;
    void *context = nullptr;
    // 1 when the sink wants the 256 x 96 thumbnail crop of each toned picture.
    int wantsThumbnails = 0;
};

inline int ReportStatus(const StatusSink &sink, int status, int64_t object, int64_t data) {
    return sink.report ? sink.report(sink.context, status, object, data) : 0;
}
