// Pixel layout flags of a drawing buffer, as TargetLayout reports them. Code that
// walks a buffer tests the bits in the order 0x20, 0x08, 0x40 and otherwise takes
// 3-byte B, G, R; other bits (such as the bottom-up row flag) do not change the
// byte order. Constants only; any thread.
#pragma once

#include <cstdint>

constexpr int64_t LayoutRgb = 0x08;        // 3 bytes R, G, B
constexpr int64_t LayoutBgr = 0x10;        // 3 bytes B, G, R
constexpr int64_t LayoutRgba = 0x20;       // 4 bytes R, G, B, A
constexpr int64_t LayoutBgra = 0x40;       // 4 bytes B, G, R, A
constexpr int64_t LayoutBottomUp = 0x8000; // rows stored bottom row first
