// The program's start-up: the runtime libraries, the colour and luminance
// tables, the codecs and JPEG handles, the interface pictures, the data folder
// and the main window in its first state; then the event loop and the end of
// the runtime. Main thread only (the thread that calls StartUp becomes it).
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdio>

// The folder of the settings file, ending with "/": the user's data folder +
// "Quillcraft/Tintwell/". Empty when no home folder is known.
extern String DataFolder;

// Decodes compiled-in picture `number` (0..5) into the image of the same number.
// 0 when it cannot be decoded (the number is then left without an image).
int CatchInterfaceImage(int number);

// Sets DataFolder and creates its missing folders one by one, owner-only.
// Creation failures are ignored: the settings then simply cannot be kept.
void PrepareDataFolder();

// Everything before the event loop: the runtime, tables, pictures, data folder,
// the main window with its gadgets, bindings, shortcuts and settings, shown.
// 1 when the main window exists afterwards, else 0.
int BuildMainWindow(int argc, char **argv);

// `tintwell --help` and `tintwell --version` (the only argument given): writes
// the usage or the version to `out` and answers the exit status (0, or 1 when
// it could not be written). Any other command line: -1, the window opens.
int AnswerCommandLine(int argc, char **argv, FILE *out);

// BuildMainWindow, the event loop until the quit sequence ends, then the end of
// the runtime. The process's exit status.
// For CI (scripts/memcheck), with the environment variable
// TINTWELL_CONVERT_AND_QUIT set to an output folder, the command line's
// arguments are dropped on the log as pictures instead, and the program quits
// by itself when that run has ended (ConvertDropAndQuit).
int StartUp(int argc, char **argv);

// Ends the runtime libraries (toolkit, JPEG handles, images, files).
void EndRuntime();
