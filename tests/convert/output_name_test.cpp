#include "convert/output_name.h"

#include "runtime/base/base_runtime.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/dates.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

int64_t FixedClock() {
    return CurrentDate(2026, 12, 7, 14, 35, 40);
}

class OutputNameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartBaseRuntime();
        SaveClock = FixedClock;
        ASSERT_FALSE(folder.path.empty());
    }
    TempFolder folder{"tintwell-names"};
};

TEST(OutputName, ExtensionRuleTable) {
    EXPECT_EQ(JpegOutputName(u"/out/IMG_1.JPG"), u"/out/IMG_1.JPG");
    EXPECT_EQ(JpegOutputName(u"/out/photo.jpeg"), u"/out/photo.jpeg");
    EXPECT_EQ(PngOutputName(u"/out/scan.tif"), u"/out/scan_tif.png");
    EXPECT_EQ(PngOutputName(u"/out/icon.PNG"), u"/out/icon.PNG");
    EXPECT_EQ(JpegOutputName(u"/out/shot.png"), u"/out/shot_png.jpg");
    EXPECT_EQ(PngOutputName(u"/out/noext"), u"/out/noext_.png");
    EXPECT_EQ(PngOutputName(u"/out/a.b.c.tif"), u"/out/a.b.c_tif.png");
    EXPECT_EQ(PngOutputName(u"/out/Scan.TIF"),
              u"/out/Scan_TIF.png"); // old extension keeps its case
    EXPECT_EQ(JpegOutputName(u"/out/pic.png"), u"/out/pic_png.jpg");
}

TEST_F(OutputNameTest, StampedNamesUseTheClock) {
    EXPECT_EQ(StampedOutputName(u"/out/IMG_1.JPG", u"jpg"), u"/out/IMG_1_20261207143540.jpg");
    EXPECT_EQ(StampedOutputName(u"/out/photo.jpeg", u"jpg"), u"/out/photo_20261207143540.jpg");
    EXPECT_EQ(StampedOutputName(u"/out/scan_tif.png", u"png"), u"/out/scan_tif_20261207143540.png");
    EXPECT_EQ(StampedOutputName(u"/out/icon.PNG", u"png"), u"/out/icon_20261207143540.png");
    EXPECT_EQ(StampedOutputName(u"/out/shot_png.jpg", u"jpg"), u"/out/shot_png_20261207143540.jpg");
    EXPECT_EQ(StampedOutputName(u"/out/noext_.png", u"png"), u"/out/noext__20261207143540.png");
}

// Writes `bytes` through a draft and places it as a saver does; answers the
// placement's result and leaves the name used in *path.
int SaveThroughDraft(String *path, std::u16string_view extension, const char *bytes) {
    String draft;
    int64_t file = CreateOutputDraft(*path, &draft);
    if (!file) return 0;
    EXPECT_EQ(FileNamePart(draft).substr(0, 10), u".tintwell-");
    EXPECT_EQ(ExtensionPart(draft), u"part");
    EXPECT_EQ(WriteBytes(file, bytes, int64_t(std::strlen(bytes))), int64_t(std::strlen(bytes)));
    EXPECT_EQ(CloseBinFile(file), 1);
    return PlaceOutputFile(draft, path, extension);
}

TEST_F(OutputNameTest, CollisionsTakeTheStampThenANumber) {
    String first = folder.In("pic.png"), second = folder.In("pic.png"),
           third = folder.In("pic.png");
    ASSERT_EQ(SaveThroughDraft(&first, u"png", "first"), 1);
    EXPECT_EQ(first, folder.In("pic.png"));
    ASSERT_EQ(SaveThroughDraft(&second, u"png", "second"), 1);
    EXPECT_EQ(second, folder.In("pic_20261207143540.png"));
    // The same second again: both names are taken, a number follows the stamp
    // and nothing is replaced.
    ASSERT_EQ(SaveThroughDraft(&third, u"png", "third"), 1);
    EXPECT_EQ(third, folder.In("pic_20261207143540_2.png"));
    String fourth = folder.In("pic.png");
    ASSERT_EQ(SaveThroughDraft(&fourth, u"png", "fourth"), 1);
    EXPECT_EQ(fourth, folder.In("pic_20261207143540_3.png"));
    EXPECT_EQ(PathSize(folder.In("pic.png")), 5);
    EXPECT_EQ(PathSize(folder.In("pic_20261207143540.png")), 6);
    EXPECT_EQ(PathSize(third), 5);
    EXPECT_EQ(folder.FileCount(), 4);
}

TEST_F(OutputNameTest, AFolderInTheWayAlsoCountsAsTaken) {
    std::filesystem::create_directory(folder.path + "taken.jpg");
    String name = folder.In("taken.jpg");
    ASSERT_EQ(SaveThroughDraft(&name, u"jpg", "jpeg"), 1);
    EXPECT_EQ(name, folder.In("taken_20261207143540.jpg"));
    EXPECT_EQ(PathSize(name), 4);
    // No folder at all to write into: no draft either.
    String nowhere = folder.In("missing/pic.png"), draft;
    errno = 0;
    EXPECT_EQ(CreateOutputDraft(nowhere, &draft), 0);
    EXPECT_EQ(errno, ENOENT);
}

} // namespace
