#include "tone/kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tone/colour_table.h"
#include "tone/luma_tables.h"
#include "tone/presets.h"

namespace {

struct LayoutCase {
    int64_t format;
    int bytes, r, g, b; // bytes per pixel and channel positions
};

// The four layouts, each reached by a flag word that also carries bits the
// kernels must ignore or that a higher-priority bit overrides.
const LayoutCase Layouts[] = {
    {0x20 | 0x08 | 0x40 | 0x8000, 4, 0, 1, 2}, // R, G, B, X
    {0x08 | 0x40 | 0x10, 3, 0, 1, 2},          // R, G, B
    {0x40 | 0x8000, 4, 2, 1, 0},               // B, G, R, X
    {0x8000 | 0x10, 3, 2, 1, 0},               // B, G, R
};

struct Rgb {
    uint8_t r, g, b;
};

// A buffer of `rows` rows of `pitch` bytes holding `pixels` (row after row,
// `perRow` pixels each) in the given layout; alpha and padding bytes get a
// recognisable pattern.
std::vector<uint8_t> Draw(const LayoutCase &layout, const std::vector<Rgb> &pixels, int perRow,
                          int64_t pitch) {
    const int rows = int(pixels.size()) / perRow;
    std::vector<uint8_t> buffer(size_t(pitch * rows));
    for (size_t i = 0; i < buffer.size(); i++) buffer[i] = uint8_t(0xA0 + i % 31);
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < perRow; x++) {
            uint8_t *p = buffer.data() + y * pitch + x * layout.bytes;
            const Rgb &c = pixels[size_t(y * perRow + x)];
            p[layout.r] = c.r;
            p[layout.g] = c.g;
            p[layout.b] = c.b;
        }
    return buffer;
}

Rgb Read(const LayoutCase &layout, const uint8_t *p) {
    return {p[layout.r], p[layout.g], p[layout.b]};
}

// A reproducible "picture": smooth gradients plus noise.
std::vector<Rgb> Picture(int width, int height) {
    std::vector<Rgb> pixels;
    uint32_t seed = 12345;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            seed = seed * 1664525u + 1013904223u;
            pixels.push_back({uint8_t(x * 7 + (seed >> 24) % 16),
                              uint8_t(y * 11 + (seed >> 16) % 8),
                              uint8_t((x + y) * 5 + (seed >> 8) % 32)});
        }
    return pixels;
}

uint16_t Luminance(const Rgb &c) {
    const LayoutCase &layout = Layouts[0];
    std::vector<uint8_t> buffer = Draw(layout, {c}, 1, 4);
    uint16_t value = 0xFFFF;
    ComputeLuminance(buffer.data(), &value, 4, 1, layout.format);
    return value;
}

class Kernels : public ::testing::Test {
  protected:
    void SetUp() override {
        BuildLumaTables();
        BuildColourTable(PresetTable.rows[11].stops); // "Heat camera": many distinct colours
    }
};

} // namespace

TEST_F(Kernels, GreyRampRisesStrictly) {
    std::vector<Rgb> ramp;
    for (int v = 0; v < 256; v++) ramp.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
    for (const LayoutCase &layout : Layouts) {
        const int64_t pitch = 256 * layout.bytes;
        std::vector<uint8_t> buffer = Draw(layout, ramp, 256, pitch);
        std::vector<uint16_t> luminance(256);
        EXPECT_EQ(ComputeLuminance(buffer.data(), luminance.data(), pitch, 1, layout.format), 0);
        EXPECT_EQ(luminance[0], 0);
        EXPECT_EQ(luminance[32], 257);
        EXPECT_EQ(luminance[64], 514);
        EXPECT_EQ(luminance[128], 1028);
        EXPECT_EQ(luminance[255], 2047);
        for (int v = 1; v < 256; v++) ASSERT_GT(luminance[v], luminance[v - 1]) << "grey " << v;
    }
}

TEST_F(Kernels, PrimaryColoursInEveryLayout) {
    const std::vector<Rgb> primaries = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (const LayoutCase &layout : Layouts) {
        const int64_t pitch = 3 * layout.bytes;
        std::vector<uint8_t> buffer = Draw(layout, primaries, 3, pitch);
        uint16_t luminance[3] = {};
        ComputeLuminance(buffer.data(), luminance, pitch, 1, layout.format);
        EXPECT_EQ(luminance[0], 1021) << "format " << layout.format;
        EXPECT_EQ(luminance[1], 1766) << "format " << layout.format;
        EXPECT_EQ(luminance[2], 610) << "format " << layout.format;
    }
}

TEST_F(Kernels, ExtremeShiftsLandInTheGuardBands) {
    const GradientStop stops[StopCount] = {0xFF1E140A, 0xFF808080, 0,          0,         0,
                                           0,          0,          0x80112233, 0xFF6496C8};
    BuildColourTable(stops); // stop 0 (10, 20, 30), stop 8 (200, 150, 100)
    for (const LayoutCase &layout : Layouts) {
        const int64_t pitch = 2 * layout.bytes;
        const std::vector<Rgb> picture = {{255, 255, 255}, {0, 0, 0}};

        std::vector<uint8_t> fused = Draw(layout, picture, 2, pitch);
        LuminanceAndTone(fused.data(), pitch, 1, layout.format, 127); // white: entry 3063
        const Rgb top = Read(layout, fused.data());
        EXPECT_EQ(top.r, 200);
        EXPECT_EQ(top.g, 150);
        EXPECT_EQ(top.b, 100);

        fused = Draw(layout, picture, 2, pitch);
        LuminanceAndTone(fused.data(), pitch, 1, layout.format, -128); // black: entry -1024
        const Rgb bottom = Read(layout, fused.data() + layout.bytes);
        EXPECT_EQ(bottom.r, 10);
        EXPECT_EQ(bottom.g, 20);
        EXPECT_EQ(bottom.b, 30);

        // The split pair reaches the same entries.
        std::vector<uint8_t> split = Draw(layout, picture, 2, pitch);
        uint16_t luminance[2] = {};
        ComputeLuminance(split.data(), luminance, pitch, 1, layout.format);
        ApplyTone(luminance, split.data(), pitch, 1, layout.format, 127);
        EXPECT_EQ(Read(layout, split.data()).g, 150);
        ApplyTone(luminance, split.data(), pitch, 1, layout.format, -128);
        EXPECT_EQ(Read(layout, split.data() + layout.bytes).g, 20);
    }
}

TEST_F(Kernels, PaddedThreeBytePitchProcessesEverySlot) {
    // Width 3 padded to a pitch of 12: four slots per row, the fourth made of the
    // three padding bytes.
    const LayoutCase &rgb = Layouts[1];
    EXPECT_EQ(LuminanceSlotsPerRow(12, rgb.format), 4);
    std::vector<uint8_t> buffer(24);
    const uint8_t slots[2][4][3] = {{{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}},
                                    {{0, 0, 255}, {128, 128, 128}, {64, 64, 64}, {32, 32, 32}}};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++)
            for (int c = 0; c < 3; c++) buffer[size_t(y * 12 + x * 3 + c)] = slots[y][x][c];
    std::vector<uint16_t> luminance(9, 0xBEEF);
    ComputeLuminance(buffer.data(), luminance.data(), 12, 2, rgb.format);
    const uint16_t expected[9] = {0, 2047, 1021, 1766, 610, 1028, 514, 257, 0xBEEF};
    for (int i = 0; i < 9; i++) EXPECT_EQ(luminance[size_t(i)], expected[i]) << "value " << i;

    ApplyTone(luminance.data(), buffer.data(), 12, 2, rgb.format, 0);
    for (int i = 0; i < 8; i++) {
        const uint32_t entry = ToneColourTable[expected[i]];
        const uint8_t *p = buffer.data() + (i / 4) * 12 + (i % 4) * 3;
        EXPECT_EQ(p[0] | p[1] << 8 | p[2] << 16, int(entry)) << "slot " << i;
    }

    // A pitch of 13 in B, G, R: still four slots, and the spare last byte of each
    // row is left alone.
    const LayoutCase &bgr = Layouts[3];
    std::vector<uint8_t> odd(26, 0x5A);
    LuminanceAndTone(odd.data(), 13, 2, bgr.format, 0);
    EXPECT_EQ(odd[12], 0x5A);
    EXPECT_EQ(odd[25], 0x5A);
    EXPECT_NE(odd[11], 0x5A); // the fourth slot was toned

    // A pitch shorter than one pixel holds no slot: nothing is read past the row.
    std::vector<uint8_t> narrow(2, 0x77);
    uint16_t untouched = 0xBEEF;
    EXPECT_EQ(LuminanceSlotsPerRow(2, rgb.format), 0);
    ComputeLuminance(narrow.data(), &untouched, 2, 1, rgb.format);
    LuminanceAndTone(narrow.data(), 2, 1, rgb.format, 0);
    EXPECT_EQ(untouched, 0xBEEF);
    EXPECT_EQ(narrow, std::vector<uint8_t>(2, 0x77));
}

TEST_F(Kernels, RgbAndBgrGiveTheSameColours) {
    const std::vector<Rgb> picture = Picture(37, 9);
    for (int pair = 0; pair < 2; pair++) {
        const LayoutCase &rgb = Layouts[pair == 0 ? 0 : 1];
        const LayoutCase &bgr = Layouts[pair == 0 ? 2 : 3];
        const int64_t pitch = 37 * rgb.bytes + 4; // padded rows
        std::vector<uint8_t> a = Draw(rgb, picture, 37, pitch), b = Draw(bgr, picture, 37, pitch);
        LuminanceAndTone(a.data(), pitch, 9, rgb.format, 7);
        LuminanceAndTone(b.data(), pitch, 9, bgr.format, 7);
        for (int i = 0; i < 37 * 9; i++) {
            const size_t at = size_t((i / 37) * pitch + (i % 37) * rgb.bytes);
            const Rgb ca = Read(rgb, &a[at]), cb = Read(bgr, &b[at]);
            ASSERT_TRUE(ca.r == cb.r && ca.g == cb.g && ca.b == cb.b) << "pixel " << i;
            const uint32_t entry = ToneColourTable[Luminance(picture[size_t(i)]) + 56];
            ASSERT_EQ(ca.r | ca.g << 8 | ca.b << 16, int(entry)) << "pixel " << i;
        }
    }
}

TEST_F(Kernels, AlphaIsUntouched) {
    const std::vector<Rgb> picture = Picture(16, 4);
    for (const LayoutCase &layout : {Layouts[0], Layouts[2]}) {
        std::vector<uint8_t> buffer = Draw(layout, picture, 16, 64);
        for (size_t i = 3; i < buffer.size(); i += 4) buffer[i] = uint8_t(i * 13);
        const std::vector<uint8_t> before = buffer;
        LuminanceAndTone(buffer.data(), 64, 4, layout.format, -20);
        std::vector<uint16_t> luminance(64);
        ComputeLuminance(before.data(), luminance.data(), 64, 4, layout.format);
        ApplyTone(luminance.data(), buffer.data(), 64, 4, layout.format, 33);
        int changed = 0;
        for (size_t i = 0; i < buffer.size(); i++) {
            if (i % 4 == 3)
                ASSERT_EQ(buffer[i], before[i]) << "alpha byte " << i;
            else
                changed += buffer[i] != before[i];
        }
        EXPECT_GT(changed, 0);
    }
}

TEST_F(Kernels, SplitPassEqualsFusedPass) {
    const std::vector<Rgb> picture = Picture(41, 13);
    for (const LayoutCase &layout : Layouts) {
        const int64_t pitch = 41 * layout.bytes + 8;
        const int64_t slots = LuminanceSlotsPerRow(pitch, layout.format);
        EXPECT_EQ(slots, 43); // 41 pixels and the slots that fit in the padding
        for (int shift : {-128, -60, 0, 90, 127}) {
            std::vector<uint8_t> fused = Draw(layout, picture, 41, pitch);
            std::vector<uint8_t> split = fused;
            std::vector<uint16_t> luminance(size_t(slots * 13));
            EXPECT_EQ(LuminanceAndTone(fused.data(), pitch, 13, layout.format, int8_t(shift)), 0);
            EXPECT_EQ(ComputeLuminance(split.data(), luminance.data(), pitch, 13, layout.format),
                      0);
            EXPECT_EQ(
                ApplyTone(luminance.data(), split.data(), pitch, 13, layout.format, int8_t(shift)),
                0);
            ASSERT_EQ(fused, split) << "format " << layout.format << " shift " << shift;
        }
    }
}
