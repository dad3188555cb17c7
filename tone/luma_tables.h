// The constant lookup tables that turn 8-bit sRGB pixels into 11-bit perceptual
// luminance: per-channel linear-light weights and the sRGB re-encoding curve.
//
// For a pixel (r, g, b) the luminance is
//     LumaEncodeTable[(LumaWeightTables[0][r] + LumaWeightTables[1][g]
//                      + LumaWeightTables[2][b] + 2) >> 2],
// an integer 0..2047. The weights of the three channels at 255 add up to
// 65532 = 4 * 16383, so the shifted sum always indexes the 16384-entry table.
//
// BuildLumaTables fills both tables from their formulas; start-up calls it once
// before any kernel runs (tests call it too). It is idempotent and may be called
// from any thread; afterwards the tables never change and any thread may read them.
#pragma once

#include <cstdint>

constexpr int LumaEncodeEntries = 16384;

// Weights of R, G and B (rows 0, 1, 2), indexed by the channel's 8-bit value.
extern uint16_t LumaWeightTables[3][256];

// Linear light (0..16383) to sRGB-encoded luminance (0..2047).
extern uint16_t LumaEncodeTable[LumaEncodeEntries];

void BuildLumaTables();

// The same weights for 16-bit channel values, evaluated at v / 65535, so that
// an 8-bit value v and its 16-bit v * 257 weigh alike. Filled by
// BuildDeepLumaTables, on the first picture that needs them (any thread).
extern uint16_t DeepLumaWeightTables[3][65536];
void BuildDeepLumaTables();

// The luminance of a 16-bit (r, g, b), as above: 0..2047.
inline uint16_t DeepLuminance(uint16_t r, uint16_t g, uint16_t b) {
    const unsigned sum = unsigned(DeepLumaWeightTables[0][r]) + DeepLumaWeightTables[1][g] +
                         DeepLumaWeightTables[2][b] + 2;
    return LumaEncodeTable[sum >> 2];
}
