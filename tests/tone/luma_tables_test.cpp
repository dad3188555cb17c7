#include "tone/luma_tables.h"

#include <gtest/gtest.h>

namespace {

struct WeightRow {
    int v, r, g, b;
};

} // namespace

TEST(LumaTables, PublishedWeightRows) {
    BuildLumaTables();
    const WeightRow rows[] = {{0, 0, 0, 0},
                              {1, 4, 14, 1},
                              {10, 42, 142, 14},
                              {64, 714, 2403, 243},
                              {128, 3008, 10116, 1021},
                              {192, 7346, 24704, 2494},
                              {254, 13812, 46449, 4688},
                              {255, 13936, 46866, 4730}};
    for (const WeightRow &row : rows) {
        EXPECT_EQ(LumaWeightTables[0][row.v], row.r) << "red " << row.v;
        EXPECT_EQ(LumaWeightTables[1][row.v], row.g) << "green " << row.v;
        EXPECT_EQ(LumaWeightTables[2][row.v], row.b) << "blue " << row.v;
    }
    // White sums to 4 * 16383, so (sum + 2) >> 2 never leaves the encoding table.
    EXPECT_EQ(LumaWeightTables[0][255] + LumaWeightTables[1][255] + LumaWeightTables[2][255],
              65532);
    for (int c = 0; c < 3; c++)
        for (int v = 1; v < 256; v++)
            ASSERT_GE(LumaWeightTables[c][v], LumaWeightTables[c][v - 1]) << c << " " << v;
}

TEST(LumaTables, PublishedEncodeEntries) {
    BuildLumaTables();
    const int samples[][2] = {{0, 0},     {1, 2},      {2, 3},       {10, 16},
                              {100, 146}, {1000, 561}, {8192, 1506}, {16000, 2027}};
    for (const auto &sample : samples)
        EXPECT_EQ(LumaEncodeTable[sample[0]], sample[1]) << "entry " << sample[0];
    for (int i = 16373; i < LumaEncodeEntries; i++) EXPECT_EQ(LumaEncodeTable[i], 2047) << i;
    for (int i = 1; i < LumaEncodeEntries; i++)
        ASSERT_GE(LumaEncodeTable[i], LumaEncodeTable[i - 1]) << "entry " << i;
}

TEST(LumaTables, SecondBuildChangesNothing) {
    BuildLumaTables();
    const uint16_t green128 = LumaWeightTables[1][128];
    const uint16_t middle = LumaEncodeTable[8192];
    LumaWeightTables[1][128] = 0; // a second call must not rebuild over live tables
    BuildLumaTables();
    EXPECT_EQ(LumaWeightTables[1][128], 0);
    LumaWeightTables[1][128] = green128;
    EXPECT_EQ(LumaEncodeTable[8192], middle);
}
