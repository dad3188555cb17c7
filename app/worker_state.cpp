#include "app/worker_state.h"

#include "runtime/base/threads.h"

void NoteWorkerStarted(int64_t thread) {
    LastWorkerThread.store(thread);
    WorkerThread.store(thread);
}

int IsConversionRunning() {
    int64_t thread = WorkerThread.load();
    return thread != 0 && ThreadAlive(thread) ? 1 : 0;
}
