// What the main window does with dropped files and the output folder button:
// starting a conversion, replacing the sample picture, choosing the output
// folder. Main thread only; each reads the current drop event.
#pragma once

#include "runtime/base/string_scratch.h"
#include "runtime/base/threads.h"

#include <cstdint>
#include <vector>

// A file drop on the log or the drop banner: starts converting the files.
void StartConversion();
// A file drop on the sample canvas: the first file becomes the sample picture.
void LoadSampleImage();
// The "..." button: asks for the output folder.
void ChooseOutputFolder();

// The message box that refuses a drop while a conversion runs.
void RefuseWhileProcessing();
// The paths of the current file drop, one entry a line of the dropped list (so
// at least one, empty when the drop held no files).
std::vector<String> DroppedPaths();

// How StartConversion starts the worker thread: SpawnThread, replaced by tests
// that need thread creation to fail.
extern int64_t (*SpawnWorkerThread)(ThreadProcedure procedure, int64_t argument);
