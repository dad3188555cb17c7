// Photographs of every kind through tintwell-batch, as a user converts them.
#include "tests/batch/batch_harness.h"
#include "tests/support/temp_folder.h"

#include <QImageReader>
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

} // namespace

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
