// The handle of the conversion worker thread, shared by the main thread (which
// starts the worker and refuses tone changes while it runs) and the worker
// (which sets it back to 0 just before its final event). Any thread may call.
#pragma once

#include <atomic>
#include <cstdint>

// Thread number (runtime/base/threads.h) of the running worker, 0 when none.
inline std::atomic<int64_t> WorkerThread{0};

// The last worker started, never cleared by the worker: the quit sequence waits
// for this thread, which may still be posting its final event after it has set
// WorkerThread back to 0.
inline std::atomic<int64_t> LastWorkerThread{0};

// Records a worker that was just started (both numbers above). Main thread.
void NoteWorkerStarted(int64_t thread);

// 1 while a worker was started and its thread is still alive, else 0. The
// commands that would change the tone under the worker test this.
int IsConversionRunning();
