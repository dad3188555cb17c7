#include "app/worker_state.h"

#include "runtime/base/threads.h"

int ConversionActive = 0;

void NoteWorkerStarted(int64_t thread) {
    LastWorkerThread.store(thread);
    WorkerThread.store(thread);
}

int IsConversionRunning() {
    if (ConversionActive) return 1;
    int64_t thread = WorkerThread.load();
    return thread != 0 && ThreadAlive(thread) ? 1 : 0;
}
