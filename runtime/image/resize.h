// Resizing of 4-byte R, G, B, A pixel buffers (pitch = width x 4), the work
// behind ScaleImage. No Qt, no image objects: plain buffers in, plain buffers out.
// Callable from any thread; nothing is shared between calls.
#pragma once

// Separable Mitchell-Netravali cubic (B = C = 1/3) in double precision, every
// channel on its own with straight alpha. Answers 0 when working memory runs out
// (destination untouched), 1 otherwise. Sizes are 1..32767.
int SmoothResize(const unsigned char *source, int width, int height, unsigned char *destination,
                 int newWidth, int newHeight);

// The smooth resize made a few target rows at a time, for a caller whose source
// rows arrive in order (a decoder): before target rows [first, end) are made,
// SmoothSourceRowsNeeded(plan, end) source rows must be in place, and none
// before SmoothSourceRowsFirst(plan, first) is read again, so a caller may keep
// only a window of SmoothSourceRowsSpan(plan) source rows. Target rows are
// asked for in order, at most `rowsAtOnce` at a time, and come out as the bytes
// SmoothResize writes. One thread uses a plan at a time.
struct SmoothRowsPlan;
// nullptr when working memory runs out.
SmoothRowsPlan *StartSmoothRows(int width, int height, int newWidth, int newHeight, int rowsAtOnce);
int SmoothSourceRowsNeeded(const SmoothRowsPlan *plan, int end);
int SmoothSourceRowsFirst(const SmoothRowsPlan *plan, int first);
int SmoothSourceRowsSpan(const SmoothRowsPlan *plan);
// Writes rows [first, end) from `destination` on (pitch newWidth x 4), reading the
// source from its first row; answers 0 when working memory runs out.
int MakeSmoothRows(SmoothRowsPlan *plan, const unsigned char *source, int first, int end,
                   unsigned char *destination);
// The same with `source` holding the source rows from row `sourceFirst` on.
int MakeSmoothRowsFrom(SmoothRowsPlan *plan, const unsigned char *source, int sourceFirst,
                       int first, int end, unsigned char *destination);
void EndSmoothRows(SmoothRowsPlan *plan);

// Nearest pixel in 16.16 fixed point, all four bytes copied. Answers 0 when
// working memory runs out, 1 otherwise.
int RawResize(const unsigned char *source, int width, int height, unsigned char *destination,
              int newWidth, int newHeight);

// The filter kernel k(t), exposed so tests can build a reference resize from the
// same formula.
double MitchellKernel(double t);
