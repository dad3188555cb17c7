// What TurboJPEG does not tell about a JPEG file before and after decoding it:
// the memory its decoder holds, and whether its data runs out before its last
// row (TurboJPEG fills such rows with grey and calls it a warning). Read through
// libjpeg's own interface, quietly. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bytes the decoder itself holds besides the output rows: a progressive or
// multi-scan file keeps every coefficient of the whole picture, whatever the
// scale (two bytes per coefficient, 64 per block). 0 for a single-scan file
// and for data whose header cannot be read.
int64_t JpegCoefficientBytes(const unsigned char *data, size_t length);

// Empty when every row of the picture is in the data; otherwise
// "cut short after row N of H": N rows of the picture as stored are surely whole
// (counted in the decoder's steps of 8 rows; a progressive file gives up its
// rows only after its last scan, so 0). Warnings that lose
// no rows (stray bytes before a marker) do not count. Decodes at an eighth of
// the size, so it costs a fraction of a real decode.
std::string JpegCutShortReason(const unsigned char *data, size_t length);

// The reason of JpegCutShortReason, found before decoding, for data too short
// to hold the picture its header declares: Huffman codes give every 8 x 8 block
// at least one bit, so a few hundred bytes cannot hold 65500 x 65500 pixels.
// Empty when the data may be long enough (or is arithmetic-coded, which can do
// with less). Spares a decoder the whole picture's work on made-up rows.
std::string JpegTooShortReason(const unsigned char *data, size_t length);
