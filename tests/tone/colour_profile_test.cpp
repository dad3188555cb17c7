// Luminance in a picture's own colours, against lcms2 as the reference: each
// pixel taken by lcms2 into linear-light sRGB (floating point, unbounded,
// relative colorimetric), its luminance with sRGB's weights, re-encoded with
// the sRGB curve to 0..2047. Every profiled sample of the test data, and
// pictures made here for the descriptions the samples lack: a PNG gamma with
// chromaticities, and an RGB profile made of colour tables.
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tests/support/profiled_pictures.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_jpeg.h"
#include "tone/colour_profile.h"
#include "tone/jpeg_glue.h"
#include "tone/kernels.h"
#include "tone/luma_tables.h"
#include "tone/picture_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <lcms2.h>
#include <string>
#include <vector>

namespace {

// R, G, B and an unused fourth value, in floating point.
constexpr cmsUInt32Number RgbaDouble =
    FLOAT_SH(1) | COLORSPACE_SH(PT_RGB) | EXTRA_SH(1) | CHANNELS_SH(3) | BYTES_SH(0);

struct Rows {
    std::vector<uint8_t> pixels; // R, G, B, A (C, M, Y, K as stored for CMYK)
    int64_t width = 0, height = 0;
    ColourProfileRef colours;
    bool inverted = false;
};

// Every row of `path` at its own size, its colours read or not.
Rows ReadRows(const std::string &path, bool profiles) {
    Rows r;
    PictureSource source;
    source.ColourProfiles = profiles;
    if (!OpenPictureSource(source, StringFromUtf8(path), 0, 0)) return r;
    r.width = source.RowsWidth, r.height = source.RowsHeight;
    r.pixels.resize(size_t(r.width * r.height * 4));
    std::vector<unsigned char *> rows;
    for (int64_t y = 0; y < r.height; y++) rows.push_back(&r.pixels[size_t(y * r.width * 4)]);
    if (!ReadSourceRows(source, rows.data(), r.height)) r.pixels.clear();
    r.colours = source.Colours;
    return r;
}

// A CMYK JPEG's rows as libjpeg decodes them, before any colour is made of them.
Rows ReadCmyk(const std::string &path) {
    Rows r;
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), {});
    JpegDecoder decoder;
    if (!StartJpegDecoder(decoder, data.data(), int64_t(data.size()), 8) ||
        decoder.info.out_color_space != JCS_CMYK)
        return r;
    r.width = decoder.info.output_width, r.height = decoder.info.output_height;
    r.inverted = decoder.info.saw_Adobe_marker;
    r.pixels.resize(size_t(r.width * r.height * 4));
    std::vector<unsigned char *> rows;
    for (int64_t y = 0; y < r.height; y++) rows.push_back(&r.pixels[size_t(y * r.width * 4)]);
    if (!ReadJpegRows(decoder, rows.data(), r.height)) r.pixels.clear();
    return r;
}

// The reference luminance of `count` pixels of four 8-bit values in the
// profile `handle`, given to lcms2 in floating point: R, G, B, A as v / 255;
// C, M, Y, K as ink in per cent, `inverted` when 255 stands for no ink.
std::vector<int> Reference(void *handle, bool cmyk, bool inverted, const uint8_t *pixels,
                           int64_t count) {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE rec709 = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve *linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve *curves[3] = {linear, linear, linear};
    cmsHPROFILE linearSrgb = cmsCreateRGBProfile(&d65, &rec709, curves);
    cmsHTRANSFORM transform =
        cmsCreateTransform(handle, cmyk ? TYPE_CMYK_DBL : RgbaDouble, linearSrgb, TYPE_RGB_DBL,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
    EXPECT_TRUE(transform) << "lcms2 makes no transform";
    std::vector<double> values(static_cast<size_t>(count) * 4);
    for (size_t i = 0; i < values.size(); i++)
        values[i] = !cmyk ? pixels[i] / 255.0 : (inverted ? 255 - pixels[i] : pixels[i]) / 2.55;
    std::vector<double> light(static_cast<size_t>(count) * 3);
    if (transform) cmsDoTransform(transform, values.data(), light.data(), cmsUInt32Number(count));
    std::vector<int> luminance(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; i++) {
        const double *rgb = &light[size_t(i) * 3];
        double y = 0;
        for (int c = 0; c < 3; c++) y += LumaChannelWeights[c] * rgb[c];
        luminance[size_t(i)] =
            int(std::min(2047L, std::lround(2048 * EncodeSrgb(std::clamp(y, 0.0, 1.0)))));
    }
    if (transform) cmsDeleteTransform(transform);
    cmsCloseProfile(linearSrgb);
    cmsFreeToneCurve(linear);
    return luminance;
}

struct Differences {
    int largest = 0;
    int64_t pixels = 0, differing = 0;
    void Add(int ours, int reference) {
        largest = std::max(largest, std::abs(ours - reference));
        pixels++, differing += ours != reference;
    }
};

// The luminance the program gives each pixel of `path` against the reference,
// at 8 bits and at 16 (each value v as v * 257): through a matrix profile's
// tables, through lcms2 for a profile of colour tables, from the sRGB rows a
// CMYK picture is read into.
Differences Compare(const std::string &path, const Rows &read) {
    Differences d;
    if (read.pixels.empty() || !read.colours) return d;
    const ColourProfile &profile = *read.colours;
    const int64_t count = read.width * read.height;
    std::vector<uint16_t> luminance(static_cast<size_t>(count));
    if (profile.Cmyk) {
        ComputeLuminance(read.pixels.data(), luminance.data(), read.width * 4, read.height,
                         LayoutRgba);
        const Rows cmyk = ReadCmyk(path);
        const std::vector<int> reference =
            Reference(profile.Handle, true, cmyk.inverted, cmyk.pixels.data(), count);
        for (int64_t i = 0; i < count; i++) d.Add(luminance[size_t(i)], reference[size_t(i)]);
        return d;
    }
    const std::vector<int> reference =
        Reference(profile.Handle, false, false, read.pixels.data(), count);
    std::vector<uint16_t> deep(static_cast<size_t>(count) * 4);
    for (size_t i = 0; i < deep.size(); i++) deep[i] = uint16_t(read.pixels[i] * 257);
    std::vector<uint16_t> deepLuminance(static_cast<size_t>(count));
    if (profile.Matrix) {
        ComputeLuminanceWith(ProfileLookup(&profile), read.pixels.data(), luminance.data(),
                             read.width * 4, read.height, LayoutRgba);
        const DeepLumaLookup lookup = DeepProfileLookup(&profile);
        for (int64_t i = 0; i < count; i++) {
            const uint16_t *p = &deep[size_t(i) * 4];
            deepLuminance[size_t(i)] = DeepLuminance(lookup, p[0], p[1], p[2]);
        }
    } else {
        EXPECT_TRUE(ProfileLuminance(profile, read.pixels.data(), luminance.data(), count));
        EXPECT_TRUE(DeepProfileLuminance(profile, deep.data(), deepLuminance.data(), count));
    }
    for (int64_t i = 0; i < count; i++) {
        d.Add(luminance[size_t(i)], reference[size_t(i)]);
        d.Add(deepLuminance[size_t(i)], reference[size_t(i)]);
    }
    return d;
}

struct Case {
    const char *file; // under formats/, or made here
    bool matrix;      // read through the program's own tables
    int largest;      // the largest difference from the reference allowed
    int grey = 0;     // the luminance of grey 128, where sRGB's tables give 1028
};

} // namespace

TEST(ColourProfiles, LuminanceAsLcms2GivesIt) {
    const std::string formats = std::string(TINTWELL_TESTDATA) + "/formats/";
    if (!std::filesystem::is_directory(formats)) GTEST_SKIP() << "no " << formats;
    StartBaseRuntime();
    StartImageRuntime();
    BuildLumaTables();
    TempFolder made("profiles");
    WriteProfiledPng(made.path + "gamma-chromaticities.png", {}, 1.8);
    const std::vector<unsigned char> tables = TableProfile();
    ASSERT_FALSE(tables.empty());
    WriteProfiledPng(made.path + "tables.png", tables);
    const Case cases[] = {
        {"icc/Picture.jpg", true, 1},              // Adobe RGB (1998)
        {"icc/apple_gainmap_new.jpg", true, 1},    // Display P3
        {"icc/p3.png", true, 1},                   // Display P3, iCCP
        {"icc/countergirl-prophoto.jpg", true, 1}, // ProPhoto RGB
        // Generic RGB, gamma 1.8: mid-grey is the light of 0.29, not sRGB's 0.22.
        {"icc/Landscape_6.jpg", true, 1, 1176},
        {"icc/rgb-to-gbr-test.png", true, 1},                // its channels swapped
        {"icc/Nikon-D300-12bit_2020_g1_dt.png", true, 1},    // linear Rec. 2020
        {"icc/tifftag-photoshop.tiff", true, 1},             // Adobe RGB, 16-bit TIFF
        {"avif/xmp_tags_orientation.avif", true, 1},         // ColorMatch RGB
        {"avif/cosmos1650_yuv444_10bpc_p3pq.avif", true, 1}, // nclx P3, PQ
        {"avif/colors_wcg_hdr_rec2020.avif", true, 1},       // nclx Rec. 2020, PQ
        {"jxl/spot.jxl", true, 1},                           // ProPhoto RGB
        {"jxl/patches_lossless.jxl", true, 1},               // a display's own profile
        {"jxl/grayscale.jxl", true, 1},                      // grey, linear
        {"icc/IMAGING-136_1402522741337.jpg", false, 6},     // CMYK, Coated FOGRA39
        {"gamma-chromaticities.png", true, 1},
        {"tables.png", false, 1},
    };
    for (const Case &c : cases) {
        const std::string path =
            std::filesystem::exists(made.path + c.file) ? made.path + c.file : formats + c.file;
        SCOPED_TRACE(c.file);
        const Rows read = ReadRows(path, true);
        ASSERT_TRUE(read.colours) << "no profile read";
        EXPECT_EQ(read.colours->Matrix, c.matrix);
        const Differences d = Compare(path, read);
        std::printf("%-45s %-32s largest %d, %lld of %lld values differ\n", c.file,
                    read.colours->Name.c_str(), d.largest, (long long)d.differing,
                    (long long)d.pixels);
        EXPECT_GT(d.pixels, 0);
        EXPECT_LE(d.largest, c.largest);
        const uint8_t grey[4] = {128, 128, 128, 255};
        uint16_t profiled = 0;
        ComputeLuminanceWith(ProfileLookup(read.colours.get()), grey, &profiled, 4, 1, LayoutRgba);
        EXPECT_TRUE(!c.grey || profiled == c.grey) << profiled;
    }
}
