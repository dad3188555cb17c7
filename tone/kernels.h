// The per-pixel loops that make a toned picture: luminance of every pixel, and the
// colour the tone gives each luminance.
//
// A drawing buffer is `rows` rows of `pitch` bytes. Its pixel layout comes from the
// format flag word, tested in this order (the first bit present decides):
//     0x20  4 bytes R, G, B, X      0x08  3 bytes R, G, B
//     0x40  4 bytes B, G, R, X      none  3 bytes B, G, R
// Other bits (such as the bottom-up row flag 0x8000) do not matter: every pixel is
// treated alike. X (alpha in images) is never read or written. Each row holds
// floor(pitch / bytes per pixel) pixel slots, and every slot is processed, also
// slots past the visible width; the bytes of a row too short for a slot are skipped.
//
// A luminance buffer holds one 16-bit value per slot, rows following each other
// with no gap (rows * slots values); the caller owns and sizes it.
//
// A pixel of luminance L is coloured with ToneColourTable[L + 8 * shift]. The
// kernels need BuildLumaTables to have run and the colour table to be built. They
// keep no state, allocate nothing and may run on any thread; they read the colour
// table without a lock. A pitch shorter than one pixel gives rows without a slot,
// so nothing is read or written past the buffer. Each returns 0.
#pragma once

#include "runtime/image/pixel_layout.h"
#include "tone/luma_tables.h"

#include <cstdint>

// Pixel slots in one row of `pitch` bytes for the layout `format` selects.
int64_t LuminanceSlotsPerRow(int64_t pitch, int64_t format);

int ComputeLuminance(const uint8_t *pixels, uint16_t *luminance, int64_t pitch, int64_t rows,
                     int64_t format);

// The same with the tables of a colour profile (ProfileLookup) in place of
// sRGB's.
int ComputeLuminanceWith(const ByteLumaLookup &lookup, const uint8_t *pixels, uint16_t *luminance,
                         int64_t pitch, int64_t rows, int64_t format);

int ApplyTone(const uint16_t *luminance, uint8_t *pixels, int64_t pitch, int64_t rows,
              int64_t format, int8_t shift);

// Tones 4-byte pixels whose first two bytes hold the pixel's luminance (0..2047,
// low byte first), as a picture of more than 8 bits a channel delivers them:
// the colour goes into bytes 0..2, byte 3 (alpha) stays.
int ToneStoredLuminance(uint8_t *pixels, int64_t pitch, int64_t rows, int8_t shift);
// ComputeLuminance and ApplyTone in one pass, in place, with no luminance buffer.
int LuminanceAndTone(uint8_t *pixels, int64_t pitch, int64_t rows, int64_t format, int8_t shift);
int LuminanceAndToneWith(const ByteLumaLookup &lookup, uint8_t *pixels, int64_t pitch, int64_t rows,
                         int64_t format, int8_t shift);
