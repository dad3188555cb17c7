#include "app/job_status.h"

#include "app/main_window.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "convert/conversion_types.h"
#include "convert/stop_flag.h"
#include "runtime/base/dates.h"
#include "runtime/base/numbers.h"
#include "runtime/base/text.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/ui/toolkit.h"

#include <cstdlib>

namespace {

constexpr int64_t ThumbnailBackground = 0xF2F2F2;

// The log line of the entry being shown: each entry's statuses replace exactly
// the line its StatusLoading inserted, also after entries that were skipped.
int64_t EntryOrdinal = -1;
int EntryLine = -1;

// A file's name as the log shows it: bytes that are not UTF-8 and control
// characters made visible, so one name is one readable line.
String ShownName(const char *name) {
    return StringFromUtf8(PrintableUtf8(StringFromUtf8(name)));
}

int PostStatus(void *, int status, int64_t object, int64_t data) {
    return PostAppEvent(EventJobStatus, status, object, EventJobStatus, data);
}

const char16_t *StatusPrefix(int status) {
    switch (status) {
    case StatusLoading:
        return u"[Loading]  ";
    case StatusSaving:
        return u"[Saving]  ";
    case StatusDone:
        return u"[Done]  ";
    case StatusError:
        return u"[Error]  ";
    default:
        return u"[Cancelled]  ";
    }
}

void ShowThumbnail(int64_t image) {
    if (!ImageExists(image)) return;
    if (OpenDrawTarget(CanvasTarget(GadgetThumbnail))) {
        int64_t w = ImagePixelWidth(image), h = ImagePixelHeight(image);
        if (w < ThumbnailWidth || h < ThumbnailHeight)
            FillRect(0, 0, ThumbnailWidth, ThumbnailHeight, ThumbnailBackground);
        int64_t x = (ThumbnailWidth - w) >> 1, y = (ThumbnailHeight - h) >> 1;
        if (ImageBitDepth(image, -2) != 24) {
            BlitImageBlended(image, x, y);
        } else {
            BlitImage(image, x, y);
        }
        CloseDrawTarget();
    }
    ReleaseImage(image);
}

void FinishRun(int64_t elapsedMs) {
    SetBusyMode(0);
    AddGadgetItem(GadgetLog, -1, u"");
    AddGadgetItem(GadgetLog, -1,
                  u"Total time : " + FormatDateMask(u"%hhh %iim %sss", elapsedMs / 1000));
    ScrollLogToEnd();
    ClearStopRequest();
    EntryOrdinal = -1;
    EntryLine = -1;
    WorkerThread.store(0);
    ConversionActive = 0;
}

} // namespace

StatusSink WindowStatusSink() {
    StatusSink sink;
    sink.report = PostStatus;
    sink.wantsThumbnails = 1;
    return sink;
}

void HandleJobStatus() {
    int status = int(EventWindowNumber());
    int64_t object = EventObject();
    int64_t data = EventPayload();
    auto *name = reinterpret_cast<char *>(data);
    switch (status) {
    case StatusLoading:
        EntryOrdinal = object;
        EntryLine = CountGadgetItems(GadgetLog);
        AddGadgetItem(GadgetLog, EntryLine, StatusPrefix(status) + ShownName(name));
        ScrollLogToEnd();
        break;
    case StatusSaving:
    case StatusDone:
    case StatusError:
    case StatusCancelled:
        if (object == EntryOrdinal && EntryLine >= 0)
            SetGadgetItemText(GadgetLog, EntryLine, StatusPrefix(status) + ShownName(name));
        if (status != StatusSaving) std::free(name);
        break;
    case StatusRemaining:
        SetGadgetText(GadgetStopButton, u"STOP CONVERSION [" + FormatInteger(object) + u"]");
        break;
    case StatusFinished:
        FinishRun(object);
        break;
    case StatusThumbnail:
        ShowThumbnail(data);
        break;
    default:
        break;
    }
}
