// What the main window does with dropped files and the output folder button:
// starting a conversion, replacing the sample picture, choosing the output
// folder. Main thread only; each reads the current drop event.
#pragma once

#include "runtime/base/string_scratch.h"
#include "runtime/base/threads.h"

#include <cstdint>

// A file drop on the log or the drop banner: starts converting the files.
void StartConversion();
// A file drop on the sample canvas: the first file becomes the sample picture.
void LoadSampleImage();
// The "..." button: asks for the output folder.
void ChooseOutputFolder();

// The message box that refuses a drop while a conversion runs.
void RefuseWhileProcessing();
// The first path of a dropped list (paths separated by line feeds).
String FirstLine(const String &list);

// How StartConversion starts the worker thread: SpawnThread, replaced by tests
// that need thread creation to fail.
extern int64_t (*SpawnWorkerThread)(ThreadProcedure procedure, int64_t argument);
