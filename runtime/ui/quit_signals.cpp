// The quit signals through a self-pipe: the handler only writes one byte (which
// is safe in a signal handler), and the main loop, woken by the pipe's notifier,
// queues the Quit item.
#include "runtime/ui/quit_signals.h"
#include "runtime/ui/internal.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int QuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int QuitSignalCount = int(std::size(QuitSignals));

int SignalPipe[2] = {-1, -1};
QSocketNotifier *PipeNotifier = nullptr;
struct sigaction FormerActions[QuitSignalCount];
bool Caught[QuitSignalCount] = {};

void NoteQuitSignal(int) {
    int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request; this one may be dropped.
    if (write(SignalPipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}

void DrainPipe() {
    char bytes[64];
    while (read(SignalPipe[0], bytes, sizeof bytes) > 0) {
    }
}

void ClosePipe() {
    delete PipeNotifier;
    PipeNotifier = nullptr;
    for (int &end : SignalPipe) {
        if (end >= 0) close(end);
        end = -1;
    }
}

} // namespace

int CatchQuitSignals() {
    if (PipeNotifier) return 1;
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 0;
    PipeNotifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(PipeNotifier, &QSocketNotifier::activated, [] {
        DrainPipe();
        RefuseQuitRequest();
    });
    struct sigaction action = {};
    action.sa_handler = NoteQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int n = 0; n < QuitSignalCount; n++) {
        Caught[n] = false;
        if (sigaction(QuitSignals[n], nullptr, &FormerActions[n]) != 0) continue;
        if (FormerActions[n].sa_handler == SIG_IGN) continue;
        Caught[n] = sigaction(QuitSignals[n], &action, nullptr) == 0;
        if (!Caught[n]) {
            ReleaseQuitSignals();
            return 0;
        }
    }
    return 1;
}

void ReleaseQuitSignals() {
    for (int n = 0; n < QuitSignalCount; n++) {
        if (Caught[n]) sigaction(QuitSignals[n], &FormerActions[n], nullptr);
        Caught[n] = false;
    }
    ClosePipe();
}
