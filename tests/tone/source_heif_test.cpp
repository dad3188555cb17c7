// The HEIC, HEIF and AVIF reader on the shared samples: each picture upright, at
// its size and in a small box, with pixels where the file puts them and alpha
// kept; and the files it refuses, each with its reason.
#include "tone/picture_source.h"

#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const std::string Formats = std::string(TINTWELL_TESTDATA) + "/formats/";

struct Sample {
    const char *file;                // under formats/
    int64_t width, height;           // upright, as libheif reports it
    int64_t boxedWidth, boxedHeight; // drawn into 256 x 256
};
const Sample Samples[] = {
    {"heic/arrow.heic", 3024, 4032, 192, 256}, // stored 4032 x 3024, turned clockwise
    {"heic/cat.hif", 4240, 2832, 256, 171},
    {"heic/RGB_10__128x128.heif", 128, 128, 128, 128},
    {"heic/RGBA_8__128x128.heif", 128, 128, 128, 128},
    {"heic/RGBA_12__29x100.heif", 29, 100, 29, 100},
    {"heic/blue_grid_alpha.heic", 320, 240, 256, 192},
    {"avif/kodim03_yuv420_8bpc.avif", 768, 512, 256, 171},
    {"avif/cosmos1650_yuv444_10bpc_p3pq.avif", 1024, 428, 256, 107},
    {"avif/colors_wcg_hdr_rec2020.avif", 200, 200, 200, 200},
    {"avif/weld_sato_12B_8B_q0.avif", 1024, 684, 256, 171},
    {"avif/abc_color_irot_alpha_irot.avif", 256, 512, 128, 256}, // stored 512 x 256
    {"avif/colors-animated-8bpc-alpha-exif-xmp.avif", 150, 150, 150, 150},
    {"avif/colors-animated-12bpc-keyframes-0-2-3.avif", 64, 64, 64, 64},
    {"avif/sofa_grid1x5_420.avif", 1024, 770, 256, 193},
    {"avif/xmp_tags_orientation.avif", 326, 268, 256, 210},
};

// Pixels of the pictures at their own size, libheif's own (heif-convert's
// PNGs). Deeper pictures come through 16 bits, v * 65535 / (2^bits - 1), as 8:
// 10-bit 964 is 240. The arrow's tip is near the top, paper in its middle; the
// letters "abc" read upwards, opaque black on half-transparent white.
struct Pixel {
    const char *file;
    int64_t x, y;
    std::array<int, 4> rgba;
};
const Pixel Pixels[] = {
    {"heic/arrow.heic", 1512, 370, {20, 20, 18, 255}},
    {"heic/arrow.heic", 1512, 2016, {156, 155, 150, 255}},
    {"heic/RGB_10__128x128.heif", 0, 0, {1, 1, 253, 255}},
    {"heic/RGB_10__128x128.heif", 120, 120, {240, 240, 13, 255}},
    {"heic/RGBA_8__128x128.heif", 0, 0, {2, 1, 253, 254}},
    {"heic/RGBA_8__128x128.heif", 120, 120, {225, 228, 17, 15}},
    {"heic/RGBA_12__29x100.heif", 0, 0, {7, 1, 245, 254}},
    {"heic/blue_grid_alpha.heic", 319, 239, {0, 0, 254, 255}},
    {"avif/abc_color_irot_alpha_irot.avif", 0, 0, {255, 255, 255, 128}},
    {"avif/abc_color_irot_alpha_irot.avif", 128, 176, {0, 0, 0, 255}},
    {"avif/abc_color_irot_alpha_irot.avif", 128, 192, {255, 255, 255, 128}},
};

class HeifReader : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        StartBaseRuntime();
        StartImageRuntime();
    }
    void SetUp() override {
        if (!std::filesystem::is_directory(Formats + "heic")) GTEST_SKIP() << "no " << Formats;
        ASSERT_FALSE(folder.path.empty());
    }
    TempFolder folder{"tintwell-heif"};
};

// Every row of the source, and whether it called the picture whole.
bool ReadWhole(PictureSource &source, Bytes *pixels) {
    const size_t pitch = size_t(source.RowsWidth) * 4;
    pixels->assign(pitch * size_t(source.RowsHeight), 0);
    for (int64_t y = 0; y < source.RowsHeight; y++) {
        unsigned char *row = pixels->data() + size_t(y) * pitch;
        if (!ReadSourceRows(source, &row, 1)) return false;
    }
    return FinishSource(source);
}

TEST_F(HeifReader, EverySampleUprightAtItsSizeAndInTheBox) {
    for (const Sample &sample : Samples) {
        SCOPED_TRACE(sample.file);
        const String path = StringFromUtf8(Formats + sample.file);
        Bytes pixels;
        PictureSource boxed, whole;
        ASSERT_TRUE(OpenPictureSource(boxed, path, 256, 256)) << boxed.Reason;
        EXPECT_EQ(boxed.Kind, SourceHeif);
        EXPECT_EQ((std::array{boxed.StoredWidth, boxed.StoredHeight, boxed.Width, boxed.Height}),
                  (std::array{sample.width, sample.height, sample.boxedWidth, sample.boxedHeight}));
        EXPECT_TRUE(ReadWhole(boxed, &pixels));
        ASSERT_TRUE(OpenPictureSource(whole, path, 0, 0)) << whole.Reason;
        EXPECT_EQ((std::array{whole.Width, whole.Height}),
                  (std::array{sample.width, sample.height}));
        ASSERT_TRUE(ReadWhole(whole, &pixels));
        for (const Pixel &p : Pixels) {
            if (std::string_view(p.file) != sample.file) continue;
            const unsigned char *at = pixels.data() + size_t((p.y * whole.Width + p.x) * 4);
            EXPECT_EQ((std::array<int, 4>{at[0], at[1], at[2], at[3]}), p.rgba)
                << "at " << p.x << ", " << p.y;
        }
    }
}

Bytes Read(const char *file) {
    std::ifstream in(Formats + file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The sample's bytes with `patch` written `offset` bytes after the first
// occurrence of `tag` (a box type); `cut` bytes long when given.
Bytes Patched(const char *file, const char *tag, size_t offset, std::string_view patch,
              size_t cut = 0) {
    Bytes bytes = Read(file);
    auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
    if (at != bytes.end()) std::copy(patch.begin(), patch.end(), at + ptrdiff_t(offset));
    if (cut) bytes.resize(cut);
    return bytes;
}

TEST_F(HeifReader, RefusedFilesGiveTheirReasons) {
    const char *heic = "heic/RGBA_8__128x128.heif", *avif = "avif/kodim03_yuv420_8bpc.avif";
    using namespace std::string_view_literals;
    struct Refusal {
        const char *name;
        Bytes bytes;
        bool refused; // by a reader that knew the file, rather than by none
        const char *reason;
    };
    const Refusal refusals[] = {
        {"gainmap.heic", Read("heic/yuv420_image_with_yuv400_gainmap.heic"), true,
         "cannot decode HEIF: Invalid input: Unspecified: Metadata not correctly assigned to "
         "image"},
        {"half.heic", Patched(heic, "ftyp", 0, "", 8007), true, "cut short"},
        {"half.avif", Patched(avif, "ftyp", 0, "", 12715), true, "cut short"},
        {"nometa.heic", Patched(heic, "meta", 0, "free"), true,
         "cannot decode HEIF: Invalid input: No 'meta' box"},
        {"nometa.avif", Patched(avif, "meta", 0, "free"), true,
         "cannot decode AVIF: Invalid input: No 'meta' box"},
        {"badtile.heic", Patched("heic/blue_grid_alpha.heic", "mdat", 4, "\xFF\xFF\xFF\xFF"), true,
         "cannot decode HEIF: Invalid input: Unspecified: NAL stream was rejected because a NAL "
         "unit size is invalid"},
        {"huge.heic", Patched(heic, "ispe", 8, "\0\x01\x86\xA0\0\x01\x86\xA0"sv), true,
         "100000 x 100000 pixels, over the largest side of 32767"},
        {"empty.heic", {}, false, "not a picture this program reads"},
        // An MP4 video's brands: left to the other readers, which do not know it.
        {"video.mp4", Patched(heic, "ftyp", 4, "mp42\0\0\0\0isommp42iso2"sv), false,
         "not a picture this program reads"},
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.name);
        {
            std::ofstream out(folder.path + r.name, std::ios::binary);
            out.write(reinterpret_cast<const char *>(r.bytes.data()),
                      std::streamsize(r.bytes.size()));
        }
        PictureSource source;
        EXPECT_FALSE(OpenPictureSource(source, folder.In(r.name), 256, 256));
        EXPECT_EQ(source.Reason, r.reason);
        EXPECT_EQ(source.Refused, r.refused);
    }
}

} // namespace
