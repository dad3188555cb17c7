#include "app/event_loop.h"

#include "app/commands.h"
#include "app/input_collection.h"
#include "app/job_status.h"
#include "app/preview_window.h"
#include "app/settings.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "convert/stop_flag.h"
#include "runtime/base/threads.h"
#include "runtime/ui/drops.h"
#include "runtime/ui/toolkit.h"

int64_t QuitWaitWindow = 0;

namespace {

constexpr int64_t ClosingBoxBackground = 0xC0C0FF; // light red
constexpr int QuitWaitSliceMs = 100;

// Only file drops count. The gadget field of a window drop holds the window's
// number, which must not be mistaken for the gadget of the same number (a drop
// on window 2 is no drop on the log), so only gadget drops name a gadget.
void RouteDrop(int code) {
    if (DropKind() != DropTypeFiles) return;
    int64_t gadget = code == EventGadgetDrop ? EventObject() : -1;
    if (EventWindowNumber() == WindowPreview) {
        LoadPreviewImage();
    } else if (gadget == GadgetSample) {
        LoadSampleImage();
    } else if (gadget == GadgetLog || gadget == GadgetDropBanner) {
        StartConversion();
    }
}

void CloseSecondaryWindow(int64_t window) {
    CloseAppWindow(window);
    if (window == WindowPreview) ReleasePreviewPicture();
}

void OpenClosingBox() {
    QuitWaitWindow = OpenAppWindow(-1, KeepValue, KeepValue, 300, 50, u"",
                                   WindowFlagBorderless | WindowFlagCentredOnParent, WindowMain);
    if (QuitWaitWindow) {
        SetWindowBackground(QuitWaitWindow, ClosingBoxBackground);
        TextGadget(-1, 10, 10, 280, 30, u"PLEASE WAIT WHILE CLOSING DOWN", TextFlagCentre);
    }
    // The main window stays visible but takes no more input.
    SetWindowDisabled(WindowMain, 1);
}

} // namespace

int DispatchEvent(int code) {
    switch (code) {
    case EventJobStatus:
        HandleJobStatus();
        break;
    case EventWindowDrop:
    case EventGadgetDrop:
        RouteDrop(code);
        break;
    case EventMenu:
        if (EventObject() == MenuItemQuit) {
            RunQuitSequence();
            return 0;
        }
        if (EventObject() == ItemCloseWindow && EventWindowNumber() != WindowMain) {
            CloseSecondaryWindow(EventWindowNumber());
            break;
        }
        RunMenuCommand(EventObject(), EventWindowNumber());
        break;
    case EventCloseWindow:
        if (EventWindowNumber() == WindowMain) {
            RunQuitSequence();
            return 0;
        }
        CloseSecondaryWindow(EventWindowNumber());
        break;
    default:
        break;
    }
    return 1;
}

void RunEventLoop() {
    while (DispatchEvent(WaitForEvent())) {
    }
}

void ConvertDropAndQuit(const String &outputFolder, const String &pictures) {
    SetGadgetText(GadgetOutputFolder, outputFolder);
    bool dropped = false;
    if (DeliverFileDrop(WindowMain, GadgetLog, pictures, 20, 20)) {
        // The drop's event starts the run (ConversionActive) or refuses it; the
        // run is over when its last status has been handled.
        do {
            int code = WaitForEvent();
            if (!DispatchEvent(code)) return; // closed by hand: the quit sequence has run
            dropped = dropped || code == EventGadgetDrop;
        } while (!dropped || ConversionActive);
    }
    RunQuitSequence();
}

void RunQuitSequence() {
    RequestStop();
    // Saved before the wait, so a worker that is slow to finish cannot cost the
    // user's settings.
    SaveSettings();
    // The worker clears WorkerThread just before its final post, so the wait
    // follows the last worker's thread itself until it has really ended: the
    // runtime must not end under a post still in progress.
    int64_t worker = LastWorkerThread.load();
    if (worker && ThreadAlive(worker)) {
        OpenClosingBox();
        while (ThreadAlive(worker)) {
            // Bound handlers run inside the fetch. Status events still go to
            // their handler so the texts and thumbnails they carry are released;
            // menu, drop and close events are not acted on any more.
            if (PollEvent() == EventJobStatus) HandleJobStatus();
            JoinThreadFor(worker, QuitWaitSliceMs);
        }
        if (QuitWaitWindow) CloseAppWindow(QuitWaitWindow);
        QuitWaitWindow = 0;
    }
    // What the worker posted last is handed over too, so nothing it allocated
    // stays behind in the queue.
    while (int code = PollEvent())
        if (code == EventJobStatus) HandleJobStatus();
}
