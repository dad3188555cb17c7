// Resizing of 4-byte R, G, B, A pixel buffers (pitch = width x 4), the work
// behind ScaleImage. No Qt, no image objects: plain buffers in, plain buffers out.
// Callable from any thread; nothing is shared between calls.
#pragma once

// Separable Mitchell-Netravali cubic (B = C = 1/3) in double precision, every
// channel on its own with straight alpha. Answers 0 when working memory runs out
// (destination untouched), 1 otherwise. Sizes are 1..32767.
int SmoothResize(const unsigned char *source, int width, int height, unsigned char *destination,
                 int newWidth, int newHeight);

// Nearest pixel in 16.16 fixed point, all four bytes copied. Answers 0 when
// working memory runs out, 1 otherwise.
int RawResize(const unsigned char *source, int width, int height, unsigned char *destination,
              int newWidth, int newHeight);

// The filter kernel k(t), exposed so tests can build a reference resize from the
// same formula.
double MitchellKernel(double t);
