// Photographs of every kind through tintwell-batch, as a user converts them.
#include "tests/batch/batch_harness.h"
#include "tests/support/byte_compare.h"
#include "tests/support/profiled_pictures.h"
#include "tests/support/temp_folder.h"

#include <QColorSpace>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string_view>

namespace {

// The distinct colours of a picture's first row.
size_t ColoursInFirstRow(const std::string &path) {
    QImage image = QImageReader(QString::fromStdString(path)).read();
    std::set<QRgb> colours;
    for (int x = 0; x < image.width(); x++) colours.insert(image.pixel(x, 0));
    return colours.size();
}

struct Sample {
    const char *file;        // under the formats folder of the test data
    const char *output;      // its output, "" when it must fail
    int width, height;       // the output's, upright, in a 512 x 512 box; or
    const char *reason = ""; // the reason of the failure
};

// Every sample of the formats folder: each format's pictures upright at their
// sizes (the irot of arrow.heic and abc_color_irot_alpha_irot.avif, the
// orientations 5 and 7 of bench_oriented_brg.jxl and sunset_logo.jxl turn
// them), RAW files at the size of their developed picture.
const Sample Samples[] = {
    {"heic/arrow.heic", "arrow_heic.png", 384, 512},
    {"heic/cat.hif", "cat_hif.png", 512, 342},
    {"heic/RGB_10__128x128.heif", "RGB_10__128x128_heif.png", 128, 128},
    {"heic/RGBA_8__128x128.heif", "RGBA_8__128x128_heif.png", 128, 128},
    {"heic/RGBA_12__29x100.heif", "RGBA_12__29x100_heif.png", 29, 100},
    {"heic/blue_grid_alpha.heic", "blue_grid_alpha_heic.png", 320, 240},
    {"heic/yuv420_image_with_yuv400_gainmap.heic", "", 0, 0,
     "cannot decode HEIF: Invalid input: Unspecified: Metadata not correctly assigned to image"},
    {"avif/kodim03_yuv420_8bpc.avif", "kodim03_yuv420_8bpc_avif.png", 512, 341},
    {"avif/cosmos1650_yuv444_10bpc_p3pq.avif", "cosmos1650_yuv444_10bpc_p3pq_avif.png", 512, 214},
    {"avif/colors_wcg_hdr_rec2020.avif", "colors_wcg_hdr_rec2020_avif.png", 200, 200},
    {"avif/weld_sato_12B_8B_q0.avif", "weld_sato_12B_8B_q0_avif.png", 512, 342},
    {"avif/abc_color_irot_alpha_irot.avif", "abc_color_irot_alpha_irot_avif.png", 256, 512},
    {"avif/colors-animated-8bpc-alpha-exif-xmp.avif",
     "colors-animated-8bpc-alpha-exif-xmp_avif.png", 150, 150},
    {"avif/colors-animated-12bpc-keyframes-0-2-3.avif",
     "colors-animated-12bpc-keyframes-0-2-3_avif.png", 64, 64},
    {"avif/sofa_grid1x5_420.avif", "sofa_grid1x5_420_avif.png", 512, 385},
    {"avif/xmp_tags_orientation.avif", "xmp_tags_orientation_avif.png", 326, 268},
    {"jxl/bench_oriented_brg.jxl", "bench_oriented_brg_jxl.png", 512, 422},
    {"jxl/bicycles.jxl", "bicycles_jxl.png", 512, 316},
    {"jxl/patches_lossless.jxl", "patches_lossless_jxl.png", 512, 351},
    {"jxl/alpha_triangles.jxl", "alpha_triangles_jxl.png", 512, 512},
    {"jxl/spot.jxl", "spot_jxl.png", 512, 341},
    {"jxl/sunset_logo.jxl", "sunset_logo_jxl.png", 341, 512},
    {"jxl/animation_spline.jxl", "animation_spline_jxl.png", 320, 320},
    {"jxl/grayscale.jxl", "grayscale_jxl.png", 200, 200},
    {"raw/colorchart.dng", "colorchart_dng.png", 512, 341},
    {"raw/RAW_KODAK_DC50.KDC", "RAW_KODAK_DC50_KDC.png", 512, 341},
    {"icc/IMAGING-136_1402522741337.jpg", "IMAGING-136_1402522741337.jpg", 512, 181},
    {"icc/rgb-to-gbr-test.png", "rgb-to-gbr-test.png", 512, 512},
    {"icc/p3.png", "p3.png", 8, 8},
    {"icc/Nikon-D300-12bit_2020_g1_dt.png", "Nikon-D300-12bit_2020_g1_dt.png", 64, 64},
    {"icc/tifftag-photoshop.tiff", "tifftag-photoshop_tiff.png", 317, 211},
};

} // namespace

// The formats folder through the command, as a user with a folder of every kind
// of photograph runs it: each file's line, every output a PNG upright at its
// size, standard error silent (also for a damaged AV1 stream and a damaged TIFF,
// which their decoders would print about: what libtiff says is the reason), and
// alpha kept exactly.
TEST(Formats, EverySampleConvertsOrSaysWhy) {
    const std::string formats = std::string(TINTWELL_TESTDATA) + "/formats/";
    if (!std::filesystem::is_directory(formats)) GTEST_SKIP() << "no " << formats;
    TempFolder in("tintwell-formats-in"), out("tintwell-formats-out"),
        data("tintwell-formats-data");
    std::vector<unsigned char> avif = ReadFileBytes(formats + "avif/kodim03_yuv420_8bpc.avif");
    const unsigned char mdat[] = {'m', 'd', 'a', 't'};
    auto stream = std::search(avif.begin(), avif.end(), mdat, mdat + 4);
    ASSERT_LT(stream + 8, avif.end());
    stream[7] = 0xFF; // in the sequence header
    WriteFile(in.path + "damaged.avif", avif);
    // A TIFF whose first directory lies past its end, which libtiff warns about.
    std::vector<unsigned char> tiff = ReadFileBytes(formats + "icc/tifftag-photoshop.tiff");
    ASSERT_EQ(tiff[0], 'I');
    tiff[4] = tiff[5] = 0xFF, tiff[6] = tiff[7] = 0;
    WriteFile(in.path + "damaged.tiff", tiff);
    std::string inputs = " " + in.path + "damaged.avif " + in.path + "damaged.tiff";
    for (const Sample &s : Samples) inputs += " '" + formats + s.file + "'";
    Result run = RunBatchCommand("-j 2 -m 512x512 -o " + out.path + inputs, data.path);
    EXPECT_EQ(run.exit, 1) << run.output; // the samples that fail
    // Nothing but the files' lines and the summary: no decoder speaks.
    std::vector<std::string> lines = Lines(run.output);
    EXPECT_EQ(lines.size(), std::size(Samples) + 3) << run.output;
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "[Error]  damaged.tiff  not a picture this program reads "
                         "(TIFFFetchDirectory: Sanity check on directory count failed, this is "
                         "probably not a valid IFD offset.)"),
              1)
        << run.output;
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "[Error]  damaged.avif  cannot decode AVIF: Decoder plugin generated an "
                         "error: Unspecified"),
              1)
        << run.output;
    for (const Sample &s : Samples) {
        SCOPED_TRACE(s.file);
        std::string line = std::filesystem::path(s.file).filename().string();
        line = *s.output ? "[Done]  " + line : "[Error]  " + line + "  " + s.reason;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << run.output;
        if (!*s.output) continue;
        QImageReader output(QString::fromStdString(out.path + s.output));
        const bool jpeg = std::string_view(s.output).ends_with(".jpg");
        EXPECT_EQ(output.format().toStdString(), jpeg ? "jpeg" : "png");
        EXPECT_EQ(output.size(), QSize(s.width, s.height));
    }
    EXPECT_EQ(FileCount(out.path), int(std::size(Samples)) - 1);

    // Alpha as the format's own tool decodes it, exactly.
    if (std::system("command -v heif-convert >/dev/null") != 0) GTEST_SKIP() << "no heif-convert";
    std::string reference = out.path + "reference.png";
    ASSERT_EQ(std::system(("heif-convert '" + formats + "heic/RGBA_8__128x128.heif' '" + reference +
                           "' >/dev/null")
                              .c_str()),
              0);
    QImage decoded(QString::fromStdString(reference)),
        toned(QString::fromStdString(out.path + "RGBA_8__128x128_heif.png"));
    ASSERT_EQ(decoded.size(), toned.size());
    int differing = 0, translucent = 0;
    for (int y = 0; y < decoded.height(); y++)
        for (int x = 0; x < decoded.width(); x++) {
            differing += qAlpha(decoded.pixel(x, y)) != qAlpha(toned.pixel(x, y));
            translucent += qAlpha(decoded.pixel(x, y)) < 255;
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(translucent, 1000);
}

// A smooth grey ramp keeps every step its bits hold: stored at 16 bits a channel
// it picks far more entries of the colour table than at 8 bits, which give one
// colour per level; the same 8-bit levels stored at 16 bits (v * 257) give the
// very pixels of the 8-bit file. The tone changes all three channels, so that
// table entries next to each other differ.
TEST(Formats, SixteenBitRampKeepsItsSteps) {
    TempFolder in("tintwell-formats-in"), out("tintwell-formats-out"),
        data("tintwell-formats-data");
    const int width = 4096;
    QImage ramp8(width, 4, QImage::Format_RGB888), ramp16(width, 4, QImage::Format_RGBX64),
        levels16(width, 4, QImage::Format_RGBX64);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < width; x++) {
            int fine = x * 65535 / (width - 1), level = x * 255 / (width - 1);
            ramp8.setPixelColor(x, y, QColor(level, level, level));
            ramp16.setPixelColor(x, y, QColor::fromRgba64(fine, fine, fine));
            levels16.setPixelColor(x, y, QColor::fromRgba64(level * 257, level * 257, level * 257));
        }
    ASSERT_TRUE(ramp8.save(QString::fromStdString(in.path + "ramp8.png")));
    ASSERT_TRUE(ramp16.save(QString::fromStdString(in.path + "ramp16.png")));
    ASSERT_TRUE(levels16.save(QString::fromStdString(in.path + "levels16.png")));
    ASSERT_TRUE(ramp16.save(QString::fromStdString(in.path + "ramp16.tiff")));
    ASSERT_TRUE(ramp16.convertToFormat(QImage::Format_Grayscale16)
                    .save(QString::fromStdString(in.path + "grey16.png")));
    ASSERT_EQ(QImageReader(QString::fromStdString(in.path + "ramp16.png")).imageFormat(),
              QImage::Format_RGBX64);
    Result run = RunBatchCommand("-p 'Heat camera' -o " + out.path + " " + in.path, data.path);
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_EQ(ColoursInFirstRow(out.path + "ramp8.png"), 256u);
    EXPECT_EQ(ColoursInFirstRow(out.path + "levels16.png"), 256u);
    EXPECT_GT(ColoursInFirstRow(out.path + "ramp16.png"), 1000u);
    EXPECT_GT(ColoursInFirstRow(out.path + "ramp16_tiff.png"), 1000u);
    EXPECT_GT(ColoursInFirstRow(out.path + "grey16.png"), 1000u);
    // Scaled into a box, at 16 bits a channel too, grey or colour alike.
    std::string small = out.path + "small/";
    run = RunBatchCommand("-p 'Heat camera' -m 2048x2048 -o " + small + " " + in.path +
                              "ramp16.png " + in.path + "grey16.png",
                          data.path);
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_GT(ColoursInFirstRow(small + "ramp16.png"), 1000u);
    EXPECT_GT(ColoursInFirstRow(small + "grey16.png"), 1000u);
    EXPECT_TRUE(QImage(QString::fromStdString(out.path + "levels16.png")) ==
                QImage(QString::fromStdString(out.path + "ramp8.png")));
}

namespace {

using Bytes = std::vector<unsigned char>;

// `bytes` with `patch` written `offset` bytes after the first `tag` (a box type).
Bytes Patched(Bytes bytes, const char *tag, size_t offset, std::string_view patch) {
    auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
    if (at != bytes.end()) std::copy(patch.begin(), patch.end(), at + ptrdiff_t(offset));
    return bytes;
}

Bytes Cut(const Bytes &bytes, size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(length));
}

// A JPEG XL codestream head declaring width x height (sizes not in eighths, no
// aspect ratio), every other field as by default.
Bytes JxlDeclaring(uint32_t width, uint32_t height) {
    Bytes bytes = {0xFF, 0x0A};
    bytes.resize(64);
    size_t at = 16;
    auto write = [&](uint32_t value, int count) {
        for (int i = 0; i < count; i++, at++) bytes[at / 8] |= ((value >> i) & 1) << (at % 8);
    };
    write(0, 1), write(3, 2), write(height - 1, 30);
    write(0, 3), write(3, 2), write(width - 1, 30);
    write(1, 1);
    return bytes;
}

// colorchart.dng (little-endian) with `value` at `at`: its sensor's width (30)
// and height (42), orientation (126, two bytes), active area (952, four values).
Bytes DngWith(Bytes bytes, std::vector<std::pair<size_t, uint32_t>> values) {
    for (auto [at, value] : values)
        for (int i = 0; i < (at == 126 ? 2 : 4); i++)
            bytes[at + size_t(i)] = (unsigned char)(value >> (8 * i));
    return bytes;
}

} // namespace

// Cut, damaged and lying copies of each new format through the command, with
// 1 GB of memory: each refused with its reason, nothing printed beside the
// lines. A camera file whose orientation says 6 comes out turned clockwise; one
// in a box that half its sensor does not fill is developed whole.
TEST(Formats, DamagedCopiesSayWhy) {
    const std::string formats = std::string(TINTWELL_TESTDATA) + "/formats/";
    if (!std::filesystem::is_directory(formats)) GTEST_SKIP() << "no " << formats;
    using namespace std::string_view_literals;
    const Bytes heic = ReadFileBytes(formats + "heic/RGBA_8__128x128.heif"),
                avif = ReadFileBytes(formats + "avif/kodim03_yuv420_8bpc.avif"),
                jxl = ReadFileBytes(formats + "jxl/bicycles.jxl"),
                dng = ReadFileBytes(formats + "raw/colorchart.dng"),
                kdc = ReadFileBytes(formats + "raw/RAW_KODAK_DC50.KDC");
    ASSERT_EQ(jxl.size(), 73501u);
    Bytes badJxl = jxl, badKdc = kdc;
    for (size_t i = 36750; i < 36758; i++) badJxl[i] ^= 0x5A;
    std::fill(badKdc.begin() + 40000, badKdc.begin() + 42000, 0xFF);
    const std::string tooLarge = "100000 x 100000 pixels, over the largest side of 32767";
    struct {
        const char *name;
        Bytes bytes;
        std::string reason; // "" when it converts
    } copies[] = {
        {"half.heic", Cut(heic, 8007), "cut short"},
        {"half.avif", Cut(avif, 12715), "cut short"},
        {"nometa.avif", Patched(avif, "meta", 0, "free"),
         "cannot decode AVIF: Invalid input: No 'meta' box"},
        {"huge.heic", Patched(heic, "ispe", 8, "\0\x01\x86\xA0\0\x01\x86\xA0"sv), tooLarge},
        {"empty.heic", {}, "not a picture this program reads"},
        {"cut.jxl", Cut(jxl, 36750), "cut short"},
        {"bad.jxl", badJxl, "cannot decode JPEG XL: ANS decode final state failed"},
        {"huge.jxl", JxlDeclaring(100000, 100000), tooLarge},
        {"large.jxl", JxlDeclaring(30000, 20000), "needs about 9.6 GB, over the limit"},
        {"cut.dng", Cut(dng, dng.size() / 2), "cut short"},
        {"bad.kdc", badKdc, "cannot decode RAW: input/output error"},
        {"huge.dng",
         DngWith(dng, {{30, 60000}, {42, 60000}, {952, 0}, {956, 0}, {960, 60000}, {964, 60000}}),
         "60000 x 60000 pixels, over the largest side of 32767"},
        // 60000 x 60000 photosites around the 1734 x 1156 picture: 7.2 GB unpacked.
        {"deep.dng", DngWith(dng, {{30, 60000}, {42, 60000}}),
         "needs about 7.2 GB, over the limit"},
        {"plain.dng", dng, ""},
        {"turned.dng", DngWith(dng, {{126, 6}}), ""},
    };
    TempFolder in("tintwell-formats-in"), out("tintwell-formats-out"),
        data("tintwell-formats-data");
    std::string inputs;
    for (const auto &c : copies) {
        WriteFile(in.path + c.name, c.bytes);
        inputs += " " + in.path + c.name;
    }
    Result run =
        RunBatchCommand("-j 1 --memory-limit 1G -m 0x0 -o " + out.path + inputs, data.path);
    EXPECT_EQ(run.exit, 1);
    std::vector<std::string> lines = Lines(run.output);
    EXPECT_EQ(lines.size(), std::size(copies) + 1) << run.output;
    for (const auto &c : copies) {
        std::string line = c.reason.empty() ? std::string("[Done]  ") + c.name
                                            : std::string("[Error]  ") + c.name + "  " + c.reason;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line << "\n" << run.output;
    }
    EXPECT_EQ(FileCount(out.path), 2);
    QImage plain(QString::fromStdString(out.path + "plain_dng.png")),
        turned(QString::fromStdString(out.path + "turned_dng.png"));
    EXPECT_EQ(plain.size(), QSize(1734, 1156));
    EXPECT_TRUE(turned.convertToFormat(QImage::Format_RGB32) ==
                plain.transformed(QTransform().rotate(90)).convertToFormat(QImage::Format_RGB32));
    // Half the sensor (867 x 578) would not fill this box: the whole one is developed.
    run = RunBatchCommand("-m 900x600 -o " + out.path + "box " + in.path + "plain.dng", data.path);
    EXPECT_EQ(QImage(QString::fromStdString(out.path + "box/plain_dng.png")).size(),
              QSize(900, 600));
}

namespace {

// `jpeg` without its APP2 segments (the ICC profile's pieces).
Bytes WithoutProfile(const Bytes &jpeg) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (jpeg[at + 1] != 0xE2)
            out.insert(out.end(), jpeg.begin() + ptrdiff_t(at),
                       jpeg.begin() + ptrdiff_t(at + 2 + length));
        at += 2 + length;
    }
    out.insert(out.end(), jpeg.begin() + ptrdiff_t(at), jpeg.end());
    return out;
}

// sRGB's curve sampled at 1024 points, as the common sRGB profiles carry it.
QColorSpace SampledSrgb() {
    QList<uint16_t> table;
    for (int i = 0; i < 1024; i++) {
        const double x = i / 1023.0;
        const double linear = x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
        table.append(uint16_t(std::lround(linear * 65535)));
    }
    return QColorSpace(QColorSpace::Primaries::SRgb, table);
}

struct ProfileCase {
    const char *output; // "on/..." or "off/..."
    const char *other;  // another output
    bool same;          // whether the two are the same bytes
};

} // namespace

// Profiles read, and not: each picture toned with --colour-profiles on and off.
// A picture tagged sRGB (a profile with sRGB's formula or its sampled curve, an
// nclx naming it) gives the bytes of the untagged picture; with profiles off,
// a profiled picture gives the bytes of its copy without the profile. A flat
// grey of level 128 under gamma 1.8 is the light of 0.29, luminance 1176 where
// sRGB's 128 gives 1028: the Gray tone's table turns them into 146 and 128.
TEST(Formats, ColourProfilesOnAndOff) {
    const std::string formats = std::string(TINTWELL_TESTDATA) + "/formats/";
    if (!std::filesystem::is_directory(formats)) GTEST_SKIP() << "no " << formats;
    TempFolder in("tintwell-profiles-in"), out("tintwell-profiles-out"),
        data("tintwell-profiles-data");
    QImage photo(160, 120, QImage::Format_RGB888);
    const std::vector<unsigned char> pixels = PhotoPixels(160, 120);
    for (int y = 0; y < 120; y++) std::copy_n(&pixels[size_t(y) * 480], 480, photo.scanLine(y));
    auto save = [&](QImage image, const QColorSpace &space, const char *name) {
        image.setColorSpace(space);
        ASSERT_TRUE(image.save(QString::fromStdString(in.path + name), nullptr, 95)) << name;
    };
    save(photo, QColorSpace(), "untagged.jpg");
    save(photo, QColorSpace(QColorSpace::SRgb), "srgb.jpg");
    save(photo, SampledSrgb(), "sampled-srgb.jpg");
    QImage grey(64, 64, QImage::Format_RGB888);
    grey.fill(QColor(128, 128, 128));
    save(grey, QColorSpace(), "grey.png");
    save(grey, QColorSpace(QColorSpace::Primaries::SRgb, 1.8f), "grey-gamma18.png");
    const Bytes adobe = ReadFileBytes(formats + "icc/Picture.jpg");
    WriteFile(in.path + "adobe.jpg", adobe);
    WriteFile(in.path + "adobe-untagged.jpg", WithoutProfile(adobe));
    ASSERT_LT(WithoutProfile(adobe).size() + 500, adobe.size());
    WriteProfiledPng(in.path + "tables.png", TableProfile());
    WriteProfiledPng(in.path + "tables-untagged.png", {});
    const Bytes cmyk = ReadFileBytes(formats + "icc/IMAGING-136_1402522741337.jpg");
    WriteFile(in.path + "cmyk.jpg", cmyk);
    WriteFile(in.path + "cmyk-untagged.jpg", WithoutProfile(cmyk));
    for (const char *file : {"heic/cat.hif", "avif/cosmos1650_yuv444_10bpc_p3pq.avif"})
        std::filesystem::copy(formats + file, in.path);
    for (const char *mode : {"on", "off"}) {
        const Result run = RunBatchCommand(std::string("-m 512x512 --colour-profiles ") + mode +
                                               " -o " + out.path + mode + " " + in.path,
                                           data.path);
        EXPECT_EQ(run.exit, 0) << run.output;
    }
    const ProfileCase cases[] = {
        {"on/srgb.jpg", "on/untagged.jpg", true},
        {"on/sampled-srgb.jpg", "on/untagged.jpg", true},
        {"off/srgb.jpg", "on/untagged.jpg", true},
        {"off/adobe.jpg", "on/adobe-untagged.jpg", true},
        {"off/grey-gamma18.png", "on/grey.png", true},
        {"off/tables.png", "on/tables-untagged.png", true},
        {"on/cat_hif.png", "off/cat_hif.png", true}, // nclx: sRGB
        {"on/adobe.jpg", "on/adobe-untagged.jpg", false},
        {"on/grey-gamma18.png", "on/grey.png", false},
        {"on/tables.png", "on/tables-untagged.png", false}, // through lcms2
        {"on/cosmos1650_yuv444_10bpc_p3pq_avif.png", "off/cosmos1650_yuv444_10bpc_p3pq_avif.png",
         false}, // nclx: Display P3, PQ
        // CMYK through its profile, through the plain rule, and as the
        // platform reader read it before profiles.
        {"on/cmyk.jpg", "on/cmyk-untagged.jpg", false},
        {"on/cmyk-untagged.jpg", "off/cmyk_jpg.png", false},
    };
    for (const ProfileCase &c : cases) {
        SCOPED_TRACE(std::string(c.output) + (c.same ? " = " : " != ") + c.other);
        const Bytes output = ReadFileBytes(out.path + c.output),
                    other = ReadFileBytes(out.path + c.other);
        ASSERT_FALSE(output.empty() || other.empty());
        if (c.same)
            EXPECT_TRUE(SameBytes(output, other));
        else
            EXPECT_NE(output, other);
    }
    const QImage plain(QString::fromStdString(out.path + "on/grey.png")),
        gamma18(QString::fromStdString(out.path + "on/grey-gamma18.png"));
    EXPECT_EQ(plain.pixelColor(10, 10), QColor(128, 128, 128));
    EXPECT_EQ(gamma18.pixelColor(10, 10), QColor(146, 146, 146));
}
