// A helper program of the tests, not part of Tintwell: the real main window,
// built as start-up builds it, converting the files named on its command line
// (a drop on the log) into the output folder given first, until the run ends.
// The tests end it from outside, with kill -9 in the middle of a save.
#include "app/event_loop.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "runtime/base/text.h"
#include "runtime/ui/drops.h"
#include "runtime/ui/toolkit.h"

#include <chrono>
#include <cstdio>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s output-folder/ picture...\n", argv[0]);
        return 2;
    }
    if (!BuildMainWindow(0, nullptr)) return 1;
    SetGadgetText(GadgetOutputFolder, StringFromUtf8(argv[1]));
    String list;
    for (int n = 2; n < argc; n++) {
        if (n > 2) list += u"\n";
        list += StringFromUtf8(argv[n]);
    }
    int delivered = DeliverFileDrop(WindowMain, GadgetLog, list, 20, 20);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(100);
    // The drop starts the run when its event is dispatched; the run is over
    // when it is no longer active.
    bool started = false, finished = false;
    while (delivered && !finished && std::chrono::steady_clock::now() < end) {
        int code = WaitForEventFor(20);
        if (code) DispatchEvent(code);
        started = started || ConversionActive;
        finished = started && !ConversionActive;
    }
    std::puts(finished ? "finished" : "not finished");
    EndRuntime();
    return finished ? 0 : 1;
}
