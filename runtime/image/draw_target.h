// Drawing outputs: direct access to the pixel memory of an image or a canvas
// gadget, and the few software primitives drawn into it.
//
// Each thread has one current output. ImageTarget or CanvasTarget prepares an
// output and installs it for the calling thread, OpenDrawTarget makes it current
// (0 and nothing current if it could not be prepared), CloseDrawTarget ends it.
// Between the two the memory at TargetPixels may be written directly; the
// address must not be kept afterwards. Both kinds report layout 0x20: 4 bytes per
// pixel R, G, B, A, top row first.
//
// Colours are R + G*256 + B*65536 (+ A*16777216). All arithmetic is integer.
// Any thread may use its own output; a canvas output belongs to the main thread.
// StartImageRuntime must have run.
#pragma once

#include "runtime/image/pixel_layout.h"

#include <cstdint>

// Drawing mode flags for SetDrawMode (they may be combined; the first of 0x100,
// 0x10, 0x20, 0x08, 0x02 that is set decides how a pixel is written).
constexpr int64_t DrawDefault = 0;    // write R, G, B; keep the destination alpha
constexpr int64_t DrawXor = 0x02;     // XOR R, G, B
constexpr int64_t DrawOutline = 0x04; // FillRect draws only the one-pixel outline
constexpr int64_t DrawAlphaOnly = 0x08;
constexpr int64_t DrawBlend = 0x10;     // source over destination, alpha updated
constexpr int64_t DrawAlphaClip = 0x20; // like DrawBlend, destination alpha kept
constexpr int64_t DrawCopyAll = 0x100;  // R, G, B and A copied

// Prepare an output over an image / a canvas gadget. Non-zero when prepared.
int64_t ImageTarget(int64_t image);
int64_t CanvasTarget(int64_t gadget);
// Makes the prepared output current; answers a non-zero value (the output's
// pixel address), or 0 when `output` is 0 or nothing is prepared.
int64_t OpenDrawTarget(int64_t output);
// Ends the current output: an image's platform view is told its pixels changed,
// a canvas is marked for redisplay.
void CloseDrawTarget();

int64_t TargetWidth();
int64_t TargetHeight();
unsigned char *TargetPixels();
int64_t TargetPitch();
int64_t TargetLayout();

void SetDrawMode(int64_t mode);
void FillRect(int64_t x, int64_t y, int64_t width, int64_t height, int64_t colour);
void DrawSegment(int64_t x, int64_t y, int64_t width, int64_t height, int64_t colour);
int64_t ReadPixel(int64_t x, int64_t y);
void BlitImage(int64_t image, int64_t x, int64_t y);
void BlitImageBlended(int64_t image, int64_t x, int64_t y);

// The alpha blend of one pixel: source (r, g, b, a) over dest[0..3] with global
// alpha `global`; keepAlpha leaves dest[3] alone. Exposed for its test.
void BlendPixel(unsigned char *dest, const unsigned char *source, int global, bool keepAlpha);

inline int64_t PackRgb(int64_t r, int64_t g, int64_t b) {
    return r + g * 256 + b * 65536;
}
inline int64_t PackRgba(int64_t r, int64_t g, int64_t b, int64_t a) {
    return r + g * 256 + b * 65536 + a * 16777216;
}
inline int64_t RedOf(int64_t c) {
    return c & 255;
}
inline int64_t GreenOf(int64_t c) {
    return (c >> 8) & 255;
}
inline int64_t BlueOf(int64_t c) {
    return (c >> 16) & 255;
}

// Registers the per-thread slice of the current output (start-up only).
void RegisterDrawTargetSlice();
