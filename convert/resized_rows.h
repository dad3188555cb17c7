// The rows of a picture that must be resized into the box: the source is
// decoded on a thread of its own, band after band, into the decoded picture,
// while the caller's thread makes each band of the result with the smooth
// resize as soon as the source rows it needs are there, so decoding and
// resizing overlap. The bytes are those ScaleImage makes of the whole picture.
#pragma once

#include <cstdint>

struct PictureSource;
struct ResizedRows;

// Starts decoding `source` (its rows RowsWidth x RowsHeight, resized to Width x
// Height); nullptr when memory or a thread cannot be had.
ResizedRows *StartResizedRows(PictureSource &source);
// Rows [first, end) of the result into `band` (pitch Width x 4), asked for in
// order; false when decoding failed before the rows they need, or memory ran out.
bool MakeResizedRows(ResizedRows *rows, int64_t first, int64_t end, unsigned char *band);
// Waits for the decoder to end: true when the whole source was decoded.
bool ResizedSourceWhole(ResizedRows *rows);
// Stops the decoder (if it still runs), waits for it and frees everything.
void EndResizedRows(ResizedRows *rows);
