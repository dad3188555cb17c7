// Pixels of the pictures the HEIF and JPEG XL readers decode whole, at their own
// size and upright, as the formats' own tools decode them (heif-convert, djxl
// 0.7). Deeper pictures come through 16 bits, v * 65535 / (2^bits - 1), and
// are read here as 8: 10-bit 964 is 240.
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tone/picture_source.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Pixel {
    const char *file; // under formats/
    int kind;
    int64_t x, y;
    std::array<int, 4> rgba;
};
// The arrow's tip is near the top, paper in its middle; the letters "abc" read
// upwards, opaque black on half-transparent white; half of alpha_triangles is
// fully transparent, its colour kept.
const Pixel Pixels[] = {
    {"heic/arrow.heic", SourceHeif, 1512, 370, {20, 20, 18, 255}},
    {"heic/arrow.heic", SourceHeif, 1512, 2016, {156, 155, 150, 255}},
    {"heic/RGB_10__128x128.heif", SourceHeif, 120, 120, {240, 240, 13, 255}},
    {"heic/RGBA_8__128x128.heif", SourceHeif, 120, 120, {225, 228, 17, 15}},
    {"heic/RGBA_12__29x100.heif", SourceHeif, 0, 0, {7, 1, 245, 254}},
    {"heic/blue_grid_alpha.heic", SourceHeif, 319, 239, {0, 0, 254, 255}},
    {"avif/abc_color_irot_alpha_irot.avif", SourceHeif, 128, 176, {0, 0, 0, 255}},
    {"avif/abc_color_irot_alpha_irot.avif", SourceHeif, 128, 192, {255, 255, 255, 128}},
    {"jxl/alpha_triangles.jxl", SourceJxl, 0, 0, {128, 0, 255, 0}},
    {"jxl/bench_oriented_brg.jxl", SourceJxl, 0, 0, {90, 111, 110, 255}},
    {"jxl/grayscale.jxl", SourceJxl, 100, 100, {94, 94, 94, 255}},
    {"jxl/spot.jxl", SourceJxl, 0, 0, {230, 0, 240, 255}},
    {"jxl/sunset_logo.jxl", SourceJxl, 666, 135, {36, 184, 251, 255}},
};

} // namespace

TEST(DecodedPixels, AsTheFormatsOwnToolsDecodeThem) {
    const std::string formats = std::string(TINTWELL_TESTDATA) + "/formats/";
    if (!std::filesystem::is_directory(formats)) GTEST_SKIP() << "no " << formats;
    StartBaseRuntime();
    StartImageRuntime();
    for (const Pixel &p : Pixels) {
        SCOPED_TRACE(std::string(p.file) + " at " + std::to_string(p.x) + ", " +
                     std::to_string(p.y));
        PictureSource source;
        ASSERT_TRUE(OpenPictureSource(source, StringFromUtf8(formats + p.file), 0, 0))
            << source.Reason;
        EXPECT_EQ(source.Kind, p.kind);
        std::vector<unsigned char> pixels(size_t(source.RowsWidth * source.RowsHeight * 4));
        std::vector<unsigned char *> rows;
        for (int64_t y = 0; y < source.RowsHeight; y++)
            rows.push_back(&pixels[size_t(y * source.RowsWidth * 4)]);
        ASSERT_TRUE(ReadSourceRows(source, rows.data(), source.RowsHeight) && FinishSource(source));
        const unsigned char *at = &pixels[size_t((p.y * source.RowsWidth + p.x) * 4)];
        EXPECT_EQ((std::array<int, 4>{at[0], at[1], at[2], at[3]}), p.rgba);
    }
}
