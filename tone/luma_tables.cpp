#include "tone/luma_tables.h"

#include <cmath>
#include <mutex>

uint16_t LumaWeightTables[3][256];
uint16_t LumaEncodeTable[LumaEncodeEntries];
uint16_t DeepLumaWeightTables[3][65536];

namespace {

// Rec. 709 / sRGB luminance coefficients of R, G and B.
constexpr double ChannelWeight[3] = {0.212656, 0.715158, 0.072186};

// The weights are scaled so that white sums to 4 * 16383: the two spare bits give
// the (sum + 2) >> 2 in the kernels its rounding.
constexpr double WeightScale = 65532.0;

double DecodeSrgb(double x) {
    return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

double EncodeSrgb(double y) {
    return y <= 0.0031308 ? 12.92 * y : 1.055 * std::pow(y, 1.0 / 2.4) - 0.055;
}

std::once_flag TablesBuilt, DeepTablesBuilt;

uint16_t Weight(int channel, double value) {
    return uint16_t(std::lround(ChannelWeight[channel] * WeightScale * DecodeSrgb(value)));
}

void FillTables() {
    for (int c = 0; c < 3; c++)
        for (int v = 0; v < 256; v++) LumaWeightTables[c][v] = Weight(c, v / 255.0);
    for (int i = 0; i < LumaEncodeEntries; i++) {
        const long encoded = std::lround(2048.0 * EncodeSrgb(i / 16383.0));
        LumaEncodeTable[i] = uint16_t(encoded < 2047 ? encoded : 2047);
    }
}

} // namespace

void BuildLumaTables() {
    std::call_once(TablesBuilt, FillTables);
}

void BuildDeepLumaTables() {
    BuildLumaTables();
    std::call_once(DeepTablesBuilt, [] {
        for (int c = 0; c < 3; c++)
            for (int v = 0; v < 65536; v++) DeepLumaWeightTables[c][v] = Weight(c, v / 65535.0);
    });
}
