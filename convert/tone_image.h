// Toning one image in place with the current colour table: every pixel takes the
// colour its luminance picks, shifted by `shift` (the tone-shift slider gives
// -116..116; other values are clamped to -128..127, the range of the kernels).
// The colour table and the luminance tables must be built. Any thread, on its
// own image; the colour table is read without a lock.
#pragma once

#include "tone/colour_profile.h"

#include <cstdint>

// 1 when the image was toned, 0 when it does not exist or cannot be drawn on (the
// caller must then not save it as if it were toned).
int ToneImage(int64_t image, int shift);

// Tones `rows` rows of `pitch` bytes in place (pixel layout flags `layout`, as
// TargetLayout gives them), the shift clamped as above. ToneImage tones its
// rows with this, and so does the streamed JPEG conversion band by band, so
// both give the same bytes. `lookup` holds the tables of the picture's colours
// (ProfileLookup); sRGB's when left out.
void ToneRows(unsigned char *pixels, int64_t pitch, int64_t rows, int64_t layout, int shift,
              const ByteLumaLookup &lookup = SrgbLumaLookup());
// R, G, B, A rows of a profile made of colour tables, each pixel's luminance
// through lcms2 (ProfileLuminance); false when lcms2 cannot make the transform.
bool ToneRowsThroughLight(const ColourProfile &profile, unsigned char *pixels, int64_t pitch,
                          int64_t rows, int shift);
// The same for R, G, B, A rows whose first two bytes hold the luminance (see
// ToneStoredLuminance): a picture of more than 8 bits a channel.
void ToneLuminanceRows(unsigned char *pixels, int64_t pitch, int64_t rows, int shift);
