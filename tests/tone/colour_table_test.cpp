#include "tone/colour_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "tone/presets.h"

namespace {

constexpr uint32_t Entry(int r, int g, int b) {
    return uint32_t(r | g << 8 | b << 16);
}
constexpr GradientStop Stop(int r, int g, int b) {
    return 0xFF000000u | Entry(r, g, b);
}

const GradientStop *Row(int row) {
    return PresetTable.rows[row].stops;
}

void ExpectBand(int from, int to, uint32_t colour) {
    for (int e = from; e <= to; e++) ASSERT_EQ(ToneColourTable[e], colour) << "entry " << e;
}

// The straight line between the set stops around entry i, evaluated exactly:
// floor((len - d) * prev + d * next + len / 2) / len) per channel. `whole` tells
// whether the exact value lies on a whole number, the only place where the
// table's rounding may come out one lower.
struct Exact {
    int value[3];
    bool whole[3];
};

Exact ExactEntry(const GradientStop *given, int i) {
    GradientStop stops[StopCount];
    for (int k = 0; k < StopCount; k++) stops[k] = given ? given[k] : 0;
    if (!(stops[0] & 0x80000000u)) stops[0] = 0xFF000000u;
    if (!(stops[8] & 0x80000000u)) stops[8] = 0xFFFFFFFFu;
    int a = i / 256;
    while (!(stops[a] & 0x80000000u)) a--;
    int b = a + 1;
    while (!(stops[b] & 0x80000000u)) b++;
    const int64_t length = 256 * (b - a), d = i - 256 * a;
    Exact exact = {};
    for (int c = 0; c < 3; c++) {
        const int64_t prev = (stops[a] >> (8 * c)) & 0xFF, next = (stops[b] >> (8 * c)) & 0xFF;
        const int64_t twice = 2 * ((length - d) * prev + d * next) + length; // 2 * len * value
        exact.value[c] = int(twice / (2 * length));
        exact.whole[c] = twice % (2 * length) == 0;
    }
    return exact;
}

} // namespace

TEST(ColourTable, SizedForEveryShiftedIndex) {
    // Luminance 0 with shift -128 and luminance 2047 with shift 127 must both fit.
    EXPECT_EQ(ColourTableEntries, 4096);
    EXPECT_EQ(ToneColourTable + (0 - 1024), ToneColourEntries);
    EXPECT_LT(2047 + 8 * 127, ColourTableEntries - GuardEntries);
}

TEST(ColourTable, NoStopsRunBlackToWhite) {
    BuildColourTable(nullptr);
    EXPECT_EQ(ToneColourTable[0], Entry(0, 0, 0));
    EXPECT_EQ(ToneColourTable[1024], Entry(128, 128, 128));
    EXPECT_EQ(ToneColourTable[2047], Entry(255, 255, 255));
    ExpectBand(-1024, -1, Entry(0, 0, 0));
    ExpectBand(2048, 3071, Entry(255, 255, 255));
    // One 2048-entry segment: entry i is 255 * i / 2048 rounded half up.
    for (int i = 0; i < 2048; i++) {
        const int v = (255 * i + 1024) / 2048;
        ASSERT_EQ(ToneColourTable[i], Entry(v, v, v)) << "entry " << i;
    }

    // A separator row and a fresh user preset give the same table.
    uint32_t blackToWhite[ColourTableEntries];
    for (int e = 0; e < ColourTableEntries; e++) blackToWhite[e] = ToneColourEntries[e];
    for (int row : {1, 24, 25, 32}) {
        BuildColourTable(Row(row));
        for (int e = 0; e < ColourTableEntries; e++)
            ASSERT_EQ(ToneColourEntries[e], blackToWhite[e]) << "row " << row << " index " << e;
    }
}

TEST(ColourTable, InvertedGray) {
    BuildColourTable(Row(13));
    EXPECT_EQ(ToneColourTable[0], Entry(255, 255, 255));
    EXPECT_EQ(ToneColourTable[2047], Entry(0, 0, 0));
    ExpectBand(-1024, -1, Entry(255, 255, 255));
    ExpectBand(2048, 3071, Entry(0, 0, 0));
}

TEST(ColourTable, SepiaOldFlatSegments) {
    BuildColourTable(Row(17));
    ExpectBand(0, 255, Entry(0x70, 0x42, 0x14));
    ExpectBand(1792, 2047, Entry(0xFF, 0xFC, 0xF0));
    ExpectBand(-1024, -1, Entry(0x70, 0x42, 0x14));
    ExpectBand(2048, 3071, Entry(0xFF, 0xFC, 0xF0));
    EXPECT_NE(ToneColourTable[256], ToneColourTable[1791]);
}

TEST(ColourTable, UnsetStopZeroCountsAsBlackAndCallerKeepsIt) {
    GradientStop stops[StopCount] = {0, 0, 0, Stop(90, 180, 30), 0, 0, 0, 0, 0};
    const GradientStop before[StopCount] = {0, 0, 0, Stop(90, 180, 30), 0, 0, 0, 0, 0};
    BuildColourTable(stops);
    for (int k = 0; k < StopCount; k++) EXPECT_EQ(stops[k], before[k]) << "stop " << k;

    ExpectBand(-1024, -1, Entry(0, 0, 0));
    EXPECT_EQ(ToneColourTable[0], Entry(0, 0, 0));
    EXPECT_EQ(ToneColourTable[384], Entry(45, 90, 15)); // halfway along 768 entries
    EXPECT_EQ(ToneColourTable[100], Entry(12, 23, 4));  // 11.7, 23.4, 3.9 rounded
    EXPECT_EQ(ToneColourTable[768], Entry(90, 180, 30));
    ExpectBand(2048, 3071, Entry(255, 255, 255));
}

TEST(ColourTable, AdjacentStopsMakeA256EntrySegment) {
    BuildColourTable(Row(9)); // "Gray (high contrast)": 000000, 101010, 202020, 404040, ...
    for (int i = 0; i < 256; i++) {
        const int v = (16 * i + 128) / 256;
        ASSERT_EQ(ToneColourTable[i], Entry(v, v, v)) << "entry " << i;
    }
    EXPECT_EQ(ToneColourTable[256], Entry(0x10, 0x10, 0x10));
    EXPECT_EQ(ToneColourTable[512], Entry(0x20, 0x20, 0x20));
    EXPECT_EQ(ToneColourTable[768], Entry(0x40, 0x40, 0x40));
    EXPECT_EQ(ToneColourTable[1024], Entry(0x80, 0x80, 0x80)); // 404040 to C0C0C0 halfway
}

TEST(ColourTable, ExactHalvesFollowExtendedPrecision) {
    BuildColourTable(Row(4)); // "Blue": 236.5 + 0.5 stays 237
    EXPECT_EQ(ToneColourTable[1664], Entry(123, 237, 255));
    BuildColourTable(Row(15)); // "Mystery": 127.5 + 0.5 lands just below 128
    EXPECT_EQ(ToneColourTable[640], Entry(127, 0, 142));
    BuildColourTable(Row(18)); // "Sepia modern"
    EXPECT_EQ(ToneColourTable[1792], Entry(231, 224, 216));
}

TEST(ColourTable, EveryPresetFollowsItsStraightLines) {
    for (int row = 0; row < PresetRowCount; row++) {
        BuildColourTable(Row(row));
        int lowered = 0;
        for (int i = 0; i < 2048; i++) {
            const Exact exact = ExactEntry(Row(row), i);
            const uint32_t entry = ToneColourTable[i];
            ASSERT_EQ(entry >> 24, 0u) << "row " << row << " entry " << i;
            for (int c = 0; c < 3; c++) {
                const int got = int(entry >> (8 * c)) & 0xFF;
                const bool ok =
                    got == exact.value[c] || (exact.whole[c] && got == exact.value[c] - 1);
                ASSERT_TRUE(ok) << "row " << row << " entry " << i << " channel " << c << ": "
                                << got << " vs exact " << exact.value[c];
                lowered += got != exact.value[c];
            }
        }
        // The guard bands carry the end stops without their A byte.
        const GradientStop first = StopIsSet(Row(row)[0]) ? Row(row)[0] : OpaqueBlack;
        const GradientStop last = StopIsSet(Row(row)[8]) ? Row(row)[8] : OpaqueWhite;
        EXPECT_EQ(ToneColourTable[-1024], first & 0xFFFFFF) << "row " << row;
        EXPECT_EQ(ToneColourTable[-1], first & 0xFFFFFF) << "row " << row;
        EXPECT_EQ(ToneColourTable[2048], last & 0xFFFFFF) << "row " << row;
        EXPECT_EQ(ToneColourTable[3071], last & 0xFFFFFF) << "row " << row;
        if (row == 15) {
            EXPECT_GE(lowered, 1) << "Mystery has a half that rounds down";
        }
    }
}
