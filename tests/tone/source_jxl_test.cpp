// The JPEG XL reader on the shared sample pictures, and on cut, damaged, empty
// and oversized copies of them. Pixel values were checked against djxl 0.7.
#include "runtime/base/base_runtime.h"
#include "runtime/base/memory_budget.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tests/support/byte_compare.h"
#include "tests/support/malformed_files.h"
#include "tests/support/temp_folder.h"
#include "tone/picture_source.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string Folder = std::string(TINTWELL_TESTDATA) + "/formats/jxl/";
using Bytes = std::vector<unsigned char>;
using Rgba = std::array<int, 4>;

struct Sample {
    const char *name;
    int64_t storedWidth, storedHeight;
    int orientation;
    int64_t width, height;       // upright
    int64_t boxWidth, boxHeight; // upright, in a 256 x 256 box
    int64_t x, y;                // a pixel of the upright picture at full size
    Rgba rgba;
};
const Sample Samples[] = {
    // 9-bit, half of it fully transparent: the colour there is kept too.
    {"alpha_triangles.jxl", 1024, 1024, 1, 1024, 1024, 256, 256, 0, 0, {128, 0, 255, 0}},
    {"animation_spline.jxl", 320, 320, 1, 320, 320, 256, 256, 0, 0, {0, 0, 0, 255}},
    {"bench_oriented_brg.jxl", 500, 606, 5, 606, 500, 256, 211, 0, 0, {90, 111, 110, 255}},
    {"bicycles.jxl", 1024, 631, 1, 1024, 631, 256, 158, 0, 0, {196, 203, 217, 255}},
    {"grayscale.jxl", 200, 200, 1, 200, 200, 200, 200, 100, 100, {94, 94, 94, 255}},
    {"patches_lossless.jxl", 1600, 1096, 1, 1600, 1096, 256, 175, 0, 0, {14, 17, 22, 255}},
    {"spot.jxl", 600, 400, 1, 600, 400, 256, 171, 0, 0, {230, 0, 240, 255}},
    // 10-bit, its layers merged.
    {"sunset_logo.jxl", 1386, 924, 7, 924, 1386, 171, 256, 666, 135, {36, 184, 251, 255}},
};

// Every row of an opened source; empty when a read fails.
Bytes ReadAllRows(PictureSource &s) {
    Bytes pixels(size_t(s.RowsWidth * s.RowsHeight * 4));
    std::vector<unsigned char *> rows;
    for (int64_t y = 0; y < s.RowsHeight; y++) rows.push_back(&pixels[size_t(y * s.RowsWidth * 4)]);
    if (!ReadSourceRows(s, rows.data(), s.RowsHeight) || !FinishSource(s)) return {};
    return pixels;
}

// The head of a codestream declaring width x height and default metadata,
// zeros after it. Bits go lowest first.
Bytes DeclaringSize(uint32_t width, uint32_t height) {
    Bytes bytes = {0xFF, 0x0A};
    bytes.resize(64);
    size_t at = 16;
    auto write = [&](uint32_t value, int count) {
        for (int i = 0; i < count; i++, at++) bytes[at / 8] |= ((value >> i) & 1) << (at % 8);
    };
    write(0, 1), write(3, 2), write(height - 1, 30); // not in eighths; a 30-bit height
    write(0, 3), write(3, 2), write(width - 1, 30);  // no aspect ratio: a 30-bit width
    write(1, 1);                                     // every other field as by default
    return bytes;
}

TEST(SourceJxl, SamplesOpenUprightWithTheirPixels) {
    if (!std::filesystem::exists(Folder)) GTEST_SKIP() << "no test data at " << Folder;
    StartBaseRuntime();
    StartImageRuntime();
    for (const Sample &sample : Samples) {
        SCOPED_TRACE(sample.name);
        const String path = StringFromUtf8(Folder + sample.name);
        PictureSource whole, boxed;
        ASSERT_TRUE(OpenPictureSource(whole, path, 8192, 8192)) << whole.Reason;
        EXPECT_EQ(whole.Kind, SourceJxl);
        EXPECT_EQ(std::vector<int64_t>({whole.StoredWidth, whole.StoredHeight, whole.Orientation,
                                        whole.Width, whole.Height}),
                  std::vector<int64_t>({sample.storedWidth, sample.storedHeight, sample.orientation,
                                        sample.width, sample.height}));
        const Bytes pixels = ReadAllRows(whole);
        ASSERT_EQ(pixels.size(), size_t(sample.width * sample.height * 4));
        const unsigned char *p = &pixels[size_t((sample.y * sample.width + sample.x) * 4)];
        EXPECT_EQ((Rgba{p[0], p[1], p[2], p[3]}), sample.rgba);
        ASSERT_TRUE(OpenPictureSource(boxed, path, 256, 256)) << boxed.Reason;
        EXPECT_EQ(boxed.Width, sample.boxWidth);
        EXPECT_EQ(boxed.Height, sample.boxHeight);
        EXPECT_EQ(ReadAllRows(boxed).size(), size_t(sample.boxWidth * sample.boxHeight * 4));
    }
}

TEST(SourceJxl, DamagedFilesAreRefusedWithTheReasonAndNothingPrinted) {
    if (!std::filesystem::exists(Folder)) GTEST_SKIP() << "no test data at " << Folder;
    StartBaseRuntime();
    StartImageRuntime();
    TempFolder folder("tintwell-jxl");
    ASSERT_FALSE(folder.path.empty());
    const Bytes bicycles = ReadFileBytes(Folder + "bicycles.jxl");
    ASSERT_EQ(bicycles.size(), 73501u);
    auto flipped = [&](size_t at) {
        Bytes bytes = bicycles;
        for (size_t i = at; i < at + 8; i++) bytes[i] ^= 0x5A;
        return bytes;
    };
    struct Case {
        const char *name;
        Bytes bytes;
        bool refused; // recognised as JPEG XL, refused for good
        std::string reason;
    };
    const Case cases[] = {
        // Told by its content, whatever its name says.
        {"bicycles.png", bicycles, false, ""},
        {"cut.jxl", Bytes(bicycles.begin(), bicycles.begin() + 36750), true, "cut short"},
        {"header-only.jxl", Bytes(bicycles.begin(), bicycles.begin() + 20), true, "cut short"},
        {"bad-header.jxl", flipped(2), true,
         "cannot decode JPEG XL: invalid exponent_bits_per_sample: 12"},
        {"bad-data.jxl", flipped(36750), true,
         "cannot decode JPEG XL: ANS decode final state failed"},
        {"empty.jxl", {}, false, "not a picture this program reads"},
        {"huge.jxl", DeclaringSize(100000, 100000), true,
         "100000 x 100000 pixels, over the largest side of 32767"},
        // 600 million pixels: the file, 4 bytes a sample for the decoder, 4 a pixel out.
        {"large.jxl", DeclaringSize(30000, 20000), true, "needs about 9.6 GB, over the limit"},
    };
    SetMemoryLimit(1000 * 1000 * 1000, 1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteMalformedFile(folder.path + c.name, c.bytes);
        PictureSource s;
        testing::internal::CaptureStderr();
        const bool opened = OpenPictureSource(s, folder.In(c.name), 256, 256);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(opened, c.reason.empty());
        EXPECT_EQ(s.Refused, c.refused);
        EXPECT_EQ(s.Reason, c.reason);
        EXPECT_EQ(s.Kind, opened ? SourceJxl : 0);
    }
    SetMemoryLimit(DefaultMemoryLimit(), 1);
}

} // namespace
