// Photographs of every kind through tintwell-batch, as a user converts them.
#include "tests/batch/batch_harness.h"
#include "tests/support/byte_compare.h"
#include "tests/support/temp_folder.h"

#include <QImageReader>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

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
    {"icc/IMAGING-136_1402522741337.jpg", "IMAGING-136_1402522741337_jpg.png", 512, 181},
    {"icc/rgb-to-gbr-test.png", "rgb-to-gbr-test.png", 512, 512},
    {"icc/p3.png", "p3.png", 8, 8},
    {"icc/Nikon-D300-12bit_2020_g1_dt.png", "Nikon-D300-12bit_2020_g1_dt.png", 64, 64},
    {"icc/tifftag-photoshop.tiff", "tifftag-photoshop_tiff.png", 317, 211},
};

} // namespace

// The formats folder through the command, as a user with a folder of every kind
// of photograph runs it: each file's line, every output a PNG upright at its
// size, standard error silent (also for a damaged AV1 stream and a damaged TIFF,
// which their decoders would print about), and alpha kept exactly.
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
                         "[Error]  damaged.tiff  not a picture this program reads"),
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
        EXPECT_EQ(output.format().toStdString(), "png");
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
