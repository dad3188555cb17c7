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

// Whether every chunk of a PNG file lies within the file (true for any other
// file). libpng sets aside and clears a chunk's declared length before it reads
// a byte of it, so a 57-byte file declaring a 2 GB text chunk made a reader take
// a gigabyte of memory and seconds; a chunk that runs past the end of the file
// is a damaged file either way. Reads chunk heads only.
bool PngChunksFitTheFile(int descriptor);
