// Whether a picture file holds every row its head declares, for the formats
// whose platform decoders fill in or leave out what is missing and still call
// the picture read (uncompressed and run-length bitmaps, BMP, X bitmaps, XBM,
// and the first picture of a GIF), and for PNG, whose decoder refuses a short
// file without saying why.
// Looks at the file only, through its descriptor, without moving its position.
// Any thread.
#pragma once

#include <cstdint>
#include <string>

// Empty when the file is whole or is none of these formats; otherwise
// "cut short after row N of H", N counted in the file's own row order. Width
// and height are the picture's as its reader found them (a PNG's are read here).
std::string CutShortReason(int descriptor, int64_t width, int64_t height);
