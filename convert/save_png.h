// The PNG saver and the program's own streaming PNG writer (8-bit R, G, B, A,
// one IDAT chunk, every row Sub-filtered, deflate level 3 with the filtered
// strategy). Memory use is one filtered row plus a 64 KiB output buffer whatever
// the picture's size. The writer looks at the stop request before every row, so a
// stop ends a long write within one row.
// Any number of threads at once, each on its own image.
#pragma once

#include "convert/png_pieces.h"
#include "runtime/base/string_scratch.h"

#include <cstdint>

// Saves `image` at `path` under the output naming rules ("png" kept, anything
// else becomes "_ext.png"). 1 on success, with the name the file went under in
// *placed when given; 0 on failure or stop, leaving no file.
int SavePng(int64_t image, const String &path, String *placed = nullptr);

// Writes `image` as a new file at exactly `path` (an existing file is never
// replaced). Answers the length of the compressed image data (nonzero) on
// success, or 1 when the image's layout went to the runtime's PNG encoder; 0 on
// failure or stop, and then no file is left.
int64_t WritePngRgba(int64_t image, const String &path);

// The PNG of a picture of more than one piece (PngPieceRows nonzero) into the
// open `file`, as SavePng writes it: head, the pieces' stream, end. Answers the
// compressed image data's length, 0 on failure or stop.
int64_t WritePngPieces(int64_t file, const PngRows &rows);
