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

// Rec. 709 / sRGB luminance coefficients of R, G and B.
constexpr double LumaChannelWeights[3] = {0.212656, 0.715158, 0.072186};

// The weights are scaled so that white sums to 4 * 16383: the two spare bits give
// the (sum + 2) >> 2 in the kernels its rounding.
constexpr double LumaWeightScale = 65532.0;

// The sRGB curves: encoded 0..1 to linear light 0..1, and back.
double DecodeSrgb(double x);
double EncodeSrgb(double y);

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

// The re-encoding of a colour profile's weights (colour_profile.h), indexed by
// their sum itself: E[i] = min(2047, round(2048 * S(i / 65532))). Four times
// finer than LumaEncodeTable, it keeps the darkest tones, where one step of the
// coarser index is 1.6 steps of luminance, within one step of the light.
// Filled by BuildFineLumaTable, before the first profile's weights are used.
constexpr int FineLumaEncodeEntries = 65533;
extern uint16_t FineLumaEncodeTable[FineLumaEncodeEntries];
void BuildFineLumaTable();

// The tables a picture's luminance is looked up in: sRGB's weights with
// LumaEncodeTable and a shift of 2, or a profile's with FineLumaEncodeTable
// and none. The luminance is Encode[(sum of the weights + half) >> Shift].
template <int Values> struct LumaLookup {
    const uint16_t (*Weights)[Values];
    const uint16_t *Encode;
    int Shift;
};
using ByteLumaLookup = LumaLookup<256>;
using DeepLumaLookup = LumaLookup<65536>;

// sRGB's own tables.
inline ByteLumaLookup SrgbLumaLookup() {
    return {LumaWeightTables, LumaEncodeTable, 2};
}

// The luminance of a 16-bit (r, g, b), as above: 0..2047.
inline uint16_t DeepLuminance(const DeepLumaLookup &l, uint16_t r, uint16_t g, uint16_t b) {
    const unsigned sum = unsigned(l.Weights[0][r]) + l.Weights[1][g] + l.Weights[2][b];
    return l.Encode[(sum + ((1u << l.Shift) >> 1)) >> l.Shift];
}
