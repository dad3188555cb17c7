#include "app/worker_state.h"

#include "runtime/base/threads.h"

int IsConversionRunning() {
    int64_t thread = WorkerThread.load();
    return thread != 0 && ThreadAlive(thread) ? 1 : 0;
}
