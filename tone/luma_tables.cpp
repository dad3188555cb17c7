#include "tone/luma_tables.h"

#include <cmath>
#include <mutex>

uint16_t LumaWeightTables[3][256];
uint16_t LumaEncodeTable[LumaEncodeEntries];
uint16_t DeepLumaWeightTables[3][65536];
uint16_t FineLumaEncodeTable[FineLumaEncodeEntries];

double DecodeSrgb(double x) {
    return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

double EncodeSrgb(double y) {
    return y <= 0.0031308 ? 12.92 * y : 1.055 * std::pow(y, 1.0 / 2.4) - 0.055;
}

namespace {

std::once_flag TablesBuilt, DeepTablesBuilt, FineTableBuilt;

uint16_t Encoded(double y) {
    const long encoded = std::lround(2048.0 * EncodeSrgb(y));
    return uint16_t(encoded < 2047 ? encoded : 2047);
}

uint16_t Weight(int channel, double value) {
    return uint16_t(std::lround(LumaChannelWeights[channel] * LumaWeightScale * DecodeSrgb(value)));
}

void FillTables() {
    for (int c = 0; c < 3; c++)
        for (int v = 0; v < 256; v++) LumaWeightTables[c][v] = Weight(c, v / 255.0);
    for (int i = 0; i < LumaEncodeEntries; i++) LumaEncodeTable[i] = Encoded(i / 16383.0);
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

void BuildFineLumaTable() {
    std::call_once(FineTableBuilt, [] {
        for (int i = 0; i < FineLumaEncodeEntries; i++)
            FineLumaEncodeTable[i] = Encoded(i / LumaWeightScale);
    });
}
