#include "tone/load_source.h"

#include "convert/save_png.h"
#include "convert/tone_image.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/codecs.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_jpeg.h"
#include "tone/colour_table.h"
#include "tone/jpeg_handles.h"
#include "tone/luma_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>
#include <zlib.h>

namespace {

class LoadSourceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        StartBaseRuntime();
        StartImageRuntime();
        RegisterPngCodec();
        ASSERT_EQ(StartJpegHandles(), 1);
    }
    void SetUp() override { ASSERT_FALSE(folder.path.empty()); }

    TempFolder folder{"tintwell-loadsource"};
};

// A new image whose pixel (x, y) is `colour(x, y)` (R, G, B, A bytes).
template <typename Colour> int64_t PatternImage(int64_t w, int64_t h, Colour colour) {
    int64_t image = NewImage(-1, w, h, 32);
    EXPECT_NE(image, 0);
    EXPECT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    for (int64_t y = 0; y < h; y++)
        for (int64_t x = 0; x < w; x++) {
            uint32_t c = colour(x, y);
            unsigned char *p = TargetPixels() + y * TargetPitch() + x * 4;
            p[0] = (unsigned char)c, p[1] = (unsigned char)(c >> 8);
            p[2] = (unsigned char)(c >> 16), p[3] = (unsigned char)(c >> 24);
        }
    CloseDrawTarget();
    return image;
}

uint32_t PixelAt(int64_t image, int64_t x, int64_t y) {
    EXPECT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    const unsigned char *p = TargetPixels() + y * TargetPitch() + x * 4;
    uint32_t c = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    CloseDrawTarget();
    return c;
}

// Every stored pixel of a distinct colour, opaque, so any misplacement shows.
uint32_t Distinct(int64_t x, int64_t y) {
    return uint32_t(0xFF000000u | (x * 40 + 10) | (y * 50 + 20) << 8 | 0x33 << 16);
}

TEST(OrientUpright, EachOrientationMapsThePatternAsTheTableSays) {
    StartBaseRuntime();
    StartImageRuntime();
    const int64_t W = 3, H = 2;
    struct Mapping {
        int orientation;
        bool turned;
        // Where the stored pixel (x, y) lands, in pixel indices.
        int64_t (*tx)(int64_t x, int64_t y);
        int64_t (*ty)(int64_t x, int64_t y);
    } mappings[] = {
        {2, false, [](int64_t x, int64_t) { return W - 1 - x; },
         [](int64_t, int64_t y) { return y; }},
        {3, false, [](int64_t x, int64_t) { return W - 1 - x; },
         [](int64_t, int64_t y) { return H - 1 - y; }},
        {4, false, [](int64_t x, int64_t) { return x; },
         [](int64_t, int64_t y) { return H - 1 - y; }},
        {5, true, [](int64_t, int64_t y) { return y; }, [](int64_t x, int64_t) { return x; }},
        {6, true, [](int64_t, int64_t y) { return H - 1 - y; },
         [](int64_t x, int64_t) { return x; }},
        {7, true, [](int64_t, int64_t y) { return H - 1 - y; },
         [](int64_t x, int64_t) { return W - 1 - x; }},
        {8, true, [](int64_t, int64_t y) { return y; },
         [](int64_t x, int64_t) { return W - 1 - x; }},
    };
    for (const Mapping &m : mappings) {
        int64_t stored = PatternImage(W, H, Distinct);
        int64_t upright = OrientUpright(stored, m.orientation);
        ASSERT_NE(upright, 0) << m.orientation;
        EXPECT_FALSE(ImageExists(stored)) << "old image freed, orientation " << m.orientation;
        EXPECT_EQ(ImagePixelWidth(upright), m.turned ? H : W);
        EXPECT_EQ(ImagePixelHeight(upright), m.turned ? W : H);
        for (int64_t y = 0; y < H; y++)
            for (int64_t x = 0; x < W; x++)
                EXPECT_EQ(PixelAt(upright, m.tx(x, y), m.ty(x, y)), Distinct(x, y))
                    << "orientation " << m.orientation << " stored (" << x << ", " << y << ")";
        ReleaseImage(upright);
    }
    // 0, 1 and the undefined values above 8 leave the image as it is.
    for (int orientation : {0, 1, 9, 255}) {
        int64_t stored = PatternImage(W, H, Distinct);
        EXPECT_EQ(OrientUpright(stored, orientation), stored);
        EXPECT_EQ(PixelAt(stored, 2, 1), Distinct(2, 1));
        ReleaseImage(stored);
    }
    EXPECT_EQ(OrientUpright(12345, 6), 0); // no such image
}

TEST_F(LoadSourceTest, PngGoesToThePlatformReaderWithStraightAlpha) {
    // Opaque, fully transparent and half-transparent columns.
    auto colour = [](int64_t x, int64_t y) -> uint32_t {
        uint32_t alpha = x == 0 ? 255 : x == 1 ? 0 : 128;
        return alpha << 24 | uint32_t(200 - y) | 100u << 8 | 50u << 16;
    };
    int64_t source = PatternImage(3, 4, colour);
    String path = folder.In("alpha.png");
    ASSERT_NE(EncodeImageFile(source, path, FormatPng, 7, 32), 0);
    ReleaseImage(source);

    LoadedImage loaded = LoadSourceImage(path, 0, 0);
    ASSERT_NE(loaded.image, 0);
    EXPECT_FALSE(loaded.fromJpeg);
    EXPECT_EQ(loaded.orientation, 0);
    ASSERT_EQ(ImagePixelWidth(loaded.image), 3);
    ASSERT_EQ(ImagePixelHeight(loaded.image), 4);
    // Read at its own size, every colour is kept exactly, whatever its alpha.
    for (int64_t y = 0; y < 4; y++)
        for (int64_t x = 0; x < 3; x++) EXPECT_EQ(PixelAt(loaded.image, x, y), colour(x, y)) << x;
    ReleaseImage(loaded.image);
}

TEST_F(LoadSourceTest, PlatformSizingRoundsHalvesAwayFromZeroAndKeepsOnePixel) {
    auto grey = [](int64_t, int64_t) -> uint32_t { return 0xFF808080u; };
    struct Case {
        int64_t w, h, maxWidth, maxHeight, outW, outH;
    } cases[] = {
        {10, 5, 5, 0, 5, 3},                                        // 2.5 -> 3
        {400, 100, 100, 100, 100, 25}, {1000, 2, 100, 100, 100, 1}, // 0.2 -> 1 pixel, not a failure
        {2, 1000, 0, 50, 1, 50},       {40, 30, 0, 0, 40, 30},      // no box: as it is
        {40, 30, 400, 400, 40, 30},                                 // never enlarged
    };
    for (const Case &c : cases) {
        int64_t source = PatternImage(c.w, c.h, grey);
        String path = folder.In("grey.png");
        std::filesystem::remove(folder.path + "grey.png");
        ASSERT_NE(EncodeImageFile(source, path, FormatPng, 7, 24), 0);
        ReleaseImage(source);
        int64_t image = LoadImageViaPlatform(path, c.maxWidth, c.maxHeight);
        ASSERT_NE(image, 0) << c.w << "x" << c.h;
        EXPECT_EQ(ImagePixelWidth(image), c.outW) << c.w << "x" << c.h;
        EXPECT_EQ(ImagePixelHeight(image), c.outH) << c.w << "x" << c.h;
        EXPECT_EQ(PixelAt(image, 0, 0), 0xFF808080u);
        ReleaseImage(image);
    }
}

TEST_F(LoadSourceTest, JpegLoaderFirstThenPlatform) {
    // A JPEG named .png still goes through the JPEG loader (content decides).
    std::vector<unsigned char> rgb(64 * 32 * 3, 90);
    std::vector<unsigned char> jpeg = EncodeTestJpeg(rgb.data(), 64, 32, TJSAMP_444, 90);
    ASSERT_FALSE(jpeg.empty());
    std::ofstream(folder.path + "shot.png", std::ios::binary)
        .write((const char *)jpeg.data(), std::streamsize(jpeg.size()));
    LoadedImage loaded = LoadSourceImage(folder.In("shot.png"), 32, 32);
    ASSERT_NE(loaded.image, 0);
    EXPECT_TRUE(loaded.fromJpeg);
    EXPECT_EQ(ImagePixelWidth(loaded.image), 32);
    EXPECT_EQ(ImagePixelHeight(loaded.image), 16);
    ReleaseImage(loaded.image);
    // Not a picture at all: both fail, nothing comes back.
    std::ofstream(folder.path + "notes.txt") << std::string(500, 'x');
    loaded = LoadSourceImage(folder.In("notes.txt"), 0, 0);
    EXPECT_EQ(loaded.image, 0);
    EXPECT_FALSE(loaded.fromJpeg);
    EXPECT_EQ(LoadImageViaPlatform(folder.In("missing.png"), 0, 0), 0);
}

TEST_F(LoadSourceTest, PngSuiteAgreesWithTheRuntimeDecoder) {
    std::string dir = std::string(TINTWELL_TESTDATA) + "/pngsuite/";
    if (!std::filesystem::exists(dir + "basn6a08.png")) GTEST_SKIP() << "no test data at " << dir;
    // 8-bit files come out exactly as libpng decodes them, colours under
    // transparency included.
    for (const char *name : {"basn2c08.png", "basn3p08.png", "basn0g08.png", "basn6a08.png",
                             "tbrn2c08.png", "tp1n3p08.png"}) {
        std::ifstream in(dir + name, std::ios::binary);
        std::vector<char> data((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        int64_t reference = DecodeImageFromMemory(-1, data.data(), int64_t(data.size()));
        ASSERT_NE(reference, 0) << name;
        int64_t image = LoadImageViaPlatform(StringFromUtf8(dir + name), 0, 0);
        ASSERT_NE(image, 0) << name;
        ASSERT_EQ(ImagePixelWidth(image), ImagePixelWidth(reference));
        ASSERT_EQ(ImagePixelHeight(image), ImagePixelHeight(reference));
        int64_t w = ImagePixelWidth(image), h = ImagePixelHeight(image);
        int mismatches = 0;
        for (int64_t y = 0; y < h; y++)
            for (int64_t x = 0; x < w; x++)
                mismatches += PixelAt(image, x, y) != PixelAt(reference, x, y);
        EXPECT_EQ(mismatches, 0) << name;
        ReleaseImage(image);
        ReleaseImage(reference);
    }
}

TEST_F(LoadSourceTest, PlatformReaderTurnsPicturesUpright) {
    // A 64 x 32 JPEG marked "turn 90 degrees" read by the platform (which writes
    // no orientation into its PNG): upright, with the box applied upright.
    std::vector<unsigned char> rgb(64 * 32 * 3, 150);
    std::vector<unsigned char> jpeg = EncodeTestJpeg(rgb.data(), 64, 32, TJSAMP_444, 90);
    ASSERT_FALSE(jpeg.empty());
    const unsigned char exif[36] = {
        0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0,
        1,    0,    0x12, 0x01, 3,   0,   1,   0,   0, 0, 6,   0,   0,    0, 0, 0, 0, 0};
    std::ofstream out(folder.path + "turned.jpg", std::ios::binary);
    out.write((const char *)jpeg.data(), 2);
    out.write((const char *)exif, 36);
    out.write((const char *)jpeg.data() + 2, std::streamsize(jpeg.size() - 2));
    out.close();
    for (int box : {0, 16}) {
        int64_t image = LoadImageViaPlatform(folder.In("turned.jpg"), box, 100);
        ASSERT_NE(image, 0);
        EXPECT_EQ(ImagePixelWidth(image), box ? 16 : 32);
        EXPECT_EQ(ImagePixelHeight(image), box ? 32 : 64);
        ReleaseImage(image);
    }
}

TEST_F(LoadSourceTest, PicturesAboveQtsDefaultAllocationLimitLoad) {
    // 8300 x 8200 x 4 bytes is more than the 128 MB Qt 6.4 refuses by default.
    int64_t big = NewImage(-1, 8300, 8200, 24, PackRgb(10, 120, 230));
    ASSERT_NE(big, 0);
    String path = folder.In("big.png");
    ASSERT_NE(EncodeImageFile(big, path, FormatPng, 7, 24), 0);
    ReleaseImage(big);
    int64_t image = LoadImageViaPlatform(path, 830, 0);
    ASSERT_NE(image, 0);
    EXPECT_EQ(ImagePixelWidth(image), 830);
    EXPECT_EQ(ImagePixelHeight(image), 820);
    EXPECT_EQ(PixelAt(image, 400, 400), 0xFFE6780Au);
    ReleaseImage(image);
}

TEST_F(LoadSourceTest, HeadsClaimingHugeSizesAreRefusedBeforeAnythingIsAllocated) {
    // A good 8 x 8 PNG, then the same with a text chunk declaring 2 GB put in
    // after its head (57 bytes in all).
    int64_t source = PatternImage(8, 8, [](int64_t x, int64_t y) -> uint32_t {
        return 0xFF000000u | uint32_t(x * 30) | uint32_t(y * 30) << 8;
    });
    String path = folder.In("good.png");
    ASSERT_NE(EncodeImageFile(source, path, FormatPng, 7, 32), 0);
    ReleaseImage(source);
    std::ifstream in(folder.path + "good.png", std::ios::binary);
    std::vector<char> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int64_t good = LoadImageViaPlatform(path, 0, 0);
    ASSERT_NE(good, 0);
    EXPECT_EQ(PixelAt(good, 7, 7), 0xFF00D2D2u);
    ReleaseImage(good);

    std::vector<char> huge(png.begin(), png.begin() + 33); // signature and head
    const char text[] = {0x7F, char(0xFF), 0, 0, 't', 'E', 'X', 't', 'a', 'b', 'c', 'd'};
    huge.insert(huge.end(), text, text + sizeof text);
    huge.insert(huge.end(), png.begin() + 33, png.end());
    std::ofstream(folder.path + "huge.png", std::ios::binary)
        .write(huge.data(), std::streamsize(huge.size()));
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(LoadImageViaPlatform(folder.In("huge.png"), 0, 0), 0);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kilobytes more at the peak";
    // A head stating 33000 x 33000 pixels, more than any image holds.
    std::vector<char> wide = png;
    for (int at : {16, 20})
        wide[at] = 0, wide[at + 1] = 0, wide[at + 2] = char(0x80), wide[at + 3] = char(0xE8);
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(wide.data() + 12), 17);
    for (int k = 0; k < 4; k++) wide[29 + k] = char(crc >> (24 - 8 * k));
    std::ofstream(folder.path + "wide.png", std::ios::binary)
        .write(wide.data(), std::streamsize(wide.size()));
    EXPECT_EQ(LoadImageViaPlatform(folder.In("wide.png"), 0, 0), 0);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kilobytes more at the peak";
    // An MNG file (whose reader states no size before decoding) claiming 4 x
    // 167772161 pixels, found by fuzzing: refused within the smaller limit.
    static const unsigned char mng[] = {
        0x8A, 0x4D, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
        0x52, 0x00, 0x00, 0x00, 0x04, 0x0A, 0x00, 0x00, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x84,
        0x52, 0xE7, 0x5E, 0x00, 0x00, 0x00, 0x0C, 0x50, 0x4C, 0x54, 0x45, 0xFF, 0xFF, 0xFF, 0x80,
        0x80, 0xFF, 0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0xD0, 0xA1, 0x60, 0x66, 0x00, 0x00, 0x00,
        0x03, 0x74, 0x52, 0x4E, 0x53, 0xFF, 0xE6, 0xB3, 0x1E, 0xA2, 0x46, 0x6F, 0x00, 0x00, 0x00,
        0x2C, 0x74, 0x45, 0x58, 0x74, 0x43, 0x6F, 0x70, 0x79, 0x72, 0x69, 0x67, 0x68, 0x74, 0x00,
        0xA9, 0x20, 0x32, 0x30, 0x31, 0x33, 0x2C, 0x32, 0x30, 0x31, 0x35, 0x20, 0x4A, 0x6F, 0x68,
        0x6E, 0x20, 0x43, 0x75, 0x6E, 0x6E, 0x69, 0x6E, 0x67, 0x68, 0x61, 0x6D, 0x20, 0x42, 0x6F,
        0x77, 0x6C, 0x65, 0x72, 0x7D, 0x74, 0x73, 0xFE, 0x00, 0x00, 0x00, 0x74, 0x69, 0x54, 0x58,
        0x74, 0x4C, 0x69, 0x63, 0x65, 0x6E, 0x73, 0x69, 0x6E, 0x67, 0x00, 0x01, 0x00, 0x65, 0x6E,
        0x00, 0x00, 0x08, 0xD7, 0x2D, 0x8C, 0x4D, 0x0E, 0x83, 0x20, 0x10, 0x85, 0xAF, 0xF2, 0xE2,
        0x01, 0x1C, 0xBB, 0x6D, 0x97, 0x78, 0x11, 0x84, 0x97, 0x4A, 0x22, 0x0C, 0x81, 0xB1, 0x0B,
        0x4F, 0xAF, 0x09, 0x5D, 0x7F, 0x3F, 0x2B, 0x63, 0x0A, 0xDE, 0x18, 0x61, 0x0A, 0xDB, 0x89,
        0x7A, 0x6E, 0x47, 0x0A, 0x88, 0x9A, 0x7D, 0x2A, 0xA8, 0x6C, 0x70, 0x8D, 0xDE, 0xD2, 0x8F,
        0x70, 0x9A, 0xB3, 0x96, 0x8E, 0x87, 0xB3, 0x74, 0x62, 0x72, 0x6E, 0xC1, 0x6B, 0x5E, 0xA6,
        0x0F, 0x76, 0xB3, 0xDA, 0x00, 0x22, 0xE1, 0xEF, 0x86, 0xA1, 0xCE, 0xDA, 0xBE, 0x32, 0x8E,
        0x63, 0x28, 0x17, 0x9B, 0xCA, 0xD3, 0xC8, 0x0D, 0x33, 0x32, 0x2A, 0x82, 0xD8, 0x98, 0xAD,
        0x26, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x08, 0xD7, 0x63, 0x90, 0x06, 0x00,
        0x00, 0x1D, 0x00, 0x1C, 0x24, 0x7A, 0xED, 0x63, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E,
        0x44, 0xAE, 0x42, 0x60, 0x82,
    };
    std::ofstream(folder.path + "bomb.mng", std::ios::binary)
        .write(reinterpret_cast<const char *>(mng), sizeof mng);
    EXPECT_EQ(LoadImageViaPlatform(folder.In("bomb.mng"), 0, 0), 0);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kilobytes more at the peak";
    // Cut short inside its pixel data: refused, not passed off as a picture.
    std::ofstream(folder.path + "cut.png", std::ios::binary)
        .write(png.data(), std::streamsize(png.size() - 20));
    EXPECT_EQ(LoadImageViaPlatform(folder.In("cut.png"), 0, 0), 0);
}

TEST_F(LoadSourceTest, EveryAlphaKeepsItsColourAndTonesExactly) {
    // 256 x 64: each column one alpha 0..255, random colours, written straight.
    BuildLumaTables();
    BuildColourTable(nullptr);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint32_t> stored(256 * 64);
    for (int64_t i = 0; i < 256 * 64; i++)
        stored[size_t(i)] = (next() >> 8 & 0xFFFFFF) | uint32_t(i % 256) << 24;
    int64_t source =
        PatternImage(256, 64, [&](int64_t x, int64_t y) { return stored[size_t(y * 256 + x)]; });
    String path = folder.In("alphas.png");
    ASSERT_GT(WritePngRgba(source, path), 0);
    ReleaseImage(source);

    const int shift = 7;
    int64_t image = LoadImageViaPlatform(path, 0, 0);
    ASSERT_NE(image, 0);
    ASSERT_EQ(ToneImage(image, shift), 1);
    int wrong = 0;
    for (int64_t y = 0; y < 64; y++)
        for (int64_t x = 0; x < 256; x++) {
            uint32_t c = stored[size_t(y * 256 + x)];
            int L = LumaEncodeTable[(LumaWeightTables[0][c & 0xFF] +
                                     LumaWeightTables[1][c >> 8 & 0xFF] +
                                     LumaWeightTables[2][c >> 16 & 0xFF] + 2) >>
                                    2];
            uint32_t want = (ToneColourTable[L + 8 * shift] & 0xFFFFFF) | (c & 0xFF000000u);
            wrong += PixelAt(image, x, y) != want;
        }
    EXPECT_EQ(wrong, 0);
    ReleaseImage(image);
}

} // namespace
