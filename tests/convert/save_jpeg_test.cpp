#include "convert/save_jpeg.h"

#include "convert/output_name.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/dates.h"
#include "runtime/base/text.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_folder.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

int64_t FixedClock() {
    return CurrentDate(2026, 12, 7, 14, 35, 40);
}

class SaveJpegTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        StartBaseRuntime();
        StartImageRuntime();
        ASSERT_EQ(StartJpegHandles(), 1);
    }
    void SetUp() override {
        SaveClock = FixedClock;
        ASSERT_FALSE(folder.path.empty());
        image = NewImage(-1, 160, 120, 24);
        ASSERT_NE(image, 0);
        ASSERT_NE(OpenDrawTarget(ImageTarget(image)), 0);
        for (int64_t y = 0; y < 120; y++)
            for (int64_t x = 0; x < 160; x++) {
                unsigned char *p = TargetPixels() + y * TargetPitch() + x * 4;
                p[0] = (unsigned char)(x * 3 ^ y), p[1] = (unsigned char)(y * 2), p[2] = 77;
            }
        CloseDrawTarget();
    }
    void TearDown() override { ReleaseImage(image); }

    TempFolder folder{"tintwell-savejpeg"};
    int64_t image = 0;
};

// Marker codes of the segments before the scan data.
std::vector<int> HeaderMarkers(const Bytes &jpeg) {
    std::vector<int> markers;
    size_t p = 2;
    while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF) {
        markers.push_back(jpeg[p + 1]);
        if (jpeg[p + 1] == 0xDA) break;
        p += 2 + (size_t(jpeg[p + 2]) << 8 | jpeg[p + 3]);
    }
    return markers;
}

TEST(ExifOrientationBlock, ExactBytes) {
    const unsigned char expected[36] = {0xFF, 0xE1, 0x00, 0x22, 'E',  'x',  'i',  'f',  0x00,
                                        0x00, 0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,
                                        0x01, 0x00, 0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00,
                                        0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    unsigned char block[ExifOrientationBlockSize];
    BuildExifOrientationBlock(6, block);
    EXPECT_EQ(Bytes(block, block + 36), Bytes(expected, expected + 36));
}

TEST(ExifOrientationBlock, InsertedBehindEveryLeadingApp0) {
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 1,    2,    0xFF,
                  0xE0, 0x00, 0x02, 0xFF, 0xDB, 0x00, 0x02, 0xFF, 0xD9};
    EXPECT_EQ(ExifInsertOffset(jpeg.data(), jpeg.size()), 12u);
    Bytes none = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x02, 0xFF, 0xD9};
    EXPECT_EQ(ExifInsertOffset(none.data(), none.size()), 2u);
    // An APP0 whose length runs past the end is not skipped.
    Bytes cut = {0xFF, 0xD8, 0xFF, 0xE0, 0x70, 0x00, 0xFF, 0xD9};
    EXPECT_EQ(ExifInsertOffset(cut.data(), cut.size()), 2u);
}

TEST_F(SaveJpegTest, OrientationBlockFollowsSoiAndApp0AndReadsBack) {
    ASSERT_EQ(SaveJpeg(image, folder.In("turned.jpg"), 95, 6), 1);
    Bytes file = folder.Read("turned.jpg");
    ASSERT_GT(file.size(), 100u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
    std::vector<int> markers = HeaderMarkers(file);
    ASSERT_GE(markers.size(), 3u);
    EXPECT_EQ(markers[0], 0xE0); // JFIF
    EXPECT_EQ(markers[1], 0xE1); // our block right behind it
    size_t app0 = 2 + 2 + (size_t(file[4]) << 8 | file[5]);
    unsigned char block[ExifOrientationBlockSize];
    BuildExifOrientationBlock(6, block);
    EXPECT_EQ(Bytes(file.begin() + long(app0), file.begin() + long(app0) + 36),
              Bytes(block, block + 36));
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 6);

    // The picture itself is not turned and decodes at its own size.
    int w = 0, h = 0, sub = -1, space = 0;
    ASSERT_EQ(
        tjDecompressHeader3(JpegDecompressor(), file.data(), file.size(), &w, &h, &sub, &space), 0);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
    EXPECT_EQ(sub, TJSAMP_444);
}

TEST_F(SaveJpegTest, NoOrientationNoApp1) {
    ASSERT_EQ(SaveJpeg(image, folder.In("plain.jpeg"), 80, 0), 1);
    Bytes file = folder.Read("plain.jpeg");
    for (int marker : HeaderMarkers(file)) EXPECT_NE(marker, 0xE1);
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 0);
}

TEST_F(SaveJpegTest, NamesCollisionsAndTheThirdSaveIsNumbered) {
    ASSERT_EQ(SaveJpeg(image, folder.In("shot.png"), 95, 0), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "shot_png.jpg"));
    ASSERT_EQ(SaveJpeg(image, folder.In("shot.png"), 95, 0), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "shot_png_20261207143540.jpg"));
    auto before = std::filesystem::file_size(folder.path + "shot_png.jpg");
    EXPECT_EQ(SaveJpeg(image, folder.In("shot.png"), 80, 0), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "shot_png_20261207143540_2.jpg"));
    EXPECT_EQ(folder.FileCount(), 3);
    EXPECT_EQ(std::filesystem::file_size(folder.path + "shot_png.jpg"), before);

    ASSERT_EQ(SaveJpeg(image, folder.In("IMG_1.JPG"), 95, 0), 1);
    ASSERT_EQ(SaveJpeg(image, folder.In("IMG_1.JPG"), 95, 0), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "IMG_1.JPG"));
    EXPECT_TRUE(std::filesystem::exists(folder.path + "IMG_1_20261207143540.jpg"));
}

TEST_F(SaveJpegTest, QualityIsClampedAndFollowed) {
    ASSERT_EQ(SaveJpeg(image, folder.In("low.jpg"), -20, 0), 1);
    ASSERT_EQ(SaveJpeg(image, folder.In("high.jpg"), 500, 0), 1);
    ASSERT_EQ(SaveJpeg(image, folder.In("q1.jpg"), 1, 0), 1);
    ASSERT_EQ(SaveJpeg(image, folder.In("q100.jpg"), 100, 0), 1);
    EXPECT_EQ(folder.Read("low.jpg"), folder.Read("q1.jpg"));
    EXPECT_EQ(folder.Read("high.jpg"), folder.Read("q100.jpg"));
    EXPECT_LT(folder.Read("low.jpg").size(), folder.Read("high.jpg").size());
}

TEST_F(SaveJpegTest, FailuresLeaveNoFile) {
    EXPECT_EQ(SaveJpeg(987654, folder.In("none.jpg"), 95, 0), 0);
    EXPECT_EQ(SaveJpeg(image, folder.In("no/such/folder.jpg"), 95, 0), 0);
    EXPECT_EQ(folder.FileCount(), 0);

    // A file-size limit makes the writes fail part way, as a full disk would.
    FileSizeLimit limit(1000);
    ASSERT_TRUE(limit.set);
    int result = SaveJpeg(image, folder.In("full.jpg"), 100, 6);
    limit.Lift();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(std::filesystem::exists(folder.path + "full.jpg"));
    EXPECT_EQ(folder.FileCount(), 0);
    // And the compressor is still fine afterwards.
    EXPECT_EQ(SaveJpeg(image, folder.In("after.jpg"), 95, 0), 1);
}

} // namespace
