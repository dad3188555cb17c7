// Whether a conversion runs, as every refusal of the main window asks it. Main
// thread, except that the worker clears WorkerThread (convert/conversion_worker.h).
#pragma once

#include "convert/conversion_worker.h"

#include <cstdint>

// 1 from the moment StartConversion starts a worker until the main thread has
// handled that worker's StatusFinished, so a drop that arrives between the
// worker's end and its last status can never start a second run. Main thread.
extern int ConversionActive;

// Records a worker that was just started (both thread numbers). Main thread.
void NoteWorkerStarted(int64_t thread);

// 1 while a run is active or a started worker's thread is still alive, else 0.
// The commands that would change the tone under the worker test this.
int IsConversionRunning();
