#include "convert/output_name.h"

#include "runtime/base/base_runtime.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/dates.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

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

String ForJpeg(const String &path) {
    return ApplyExtensionRule(path, {u"jpg", u"jpeg"}, u"jpg");
}
String ForPng(const String &path) {
    return ApplyExtensionRule(path, {u"png"}, u"png");
}

TEST(OutputName, ExtensionRuleTable) {
    EXPECT_EQ(ForJpeg(u"/out/IMG_1.JPG"), u"/out/IMG_1.JPG");
    EXPECT_EQ(ForJpeg(u"/out/photo.jpeg"), u"/out/photo.jpeg");
    EXPECT_EQ(ForPng(u"/out/scan.tif"), u"/out/scan_tif.png");
    EXPECT_EQ(ForPng(u"/out/icon.PNG"), u"/out/icon.PNG");
    EXPECT_EQ(ForJpeg(u"/out/shot.png"), u"/out/shot_png.jpg");
    EXPECT_EQ(ForPng(u"/out/noext"), u"/out/noext_.png");
    EXPECT_EQ(ForPng(u"/out/a.b.c.tif"), u"/out/a.b.c_tif.png");
    EXPECT_EQ(ForPng(u"/out/Scan.TIF"), u"/out/Scan_TIF.png"); // old extension keeps its case
    EXPECT_EQ(ForJpeg(u"/out/pic.png"), u"/out/pic_png.jpg");
}

TEST_F(OutputNameTest, StampedNamesUseTheClock) {
    EXPECT_EQ(StampedOutputName(u"/out/IMG_1.JPG", u"jpg"), u"/out/IMG_1_20261207143540.jpg");
    EXPECT_EQ(StampedOutputName(u"/out/photo.jpeg", u"jpg"), u"/out/photo_20261207143540.jpg");
    EXPECT_EQ(StampedOutputName(u"/out/scan_tif.png", u"png"), u"/out/scan_tif_20261207143540.png");
    EXPECT_EQ(StampedOutputName(u"/out/icon.PNG", u"png"), u"/out/icon_20261207143540.png");
    EXPECT_EQ(StampedOutputName(u"/out/shot_png.jpg", u"jpg"), u"/out/shot_png_20261207143540.jpg");
    EXPECT_EQ(StampedOutputName(u"/out/noext_.png", u"png"), u"/out/noext__20261207143540.png");
}

TEST_F(OutputNameTest, CollisionsTakeTheStampThenFail) {
    String first = folder.In("pic.png"), second = folder.In("pic.png"),
           third = folder.In("pic.png");
    int64_t a = CreateOutputFile(&first, u"png");
    ASSERT_NE(a, 0);
    EXPECT_EQ(first, folder.In("pic.png"));
    EXPECT_EQ(WriteBytes(a, "first", 5), 5);
    ASSERT_EQ(CloseBinFile(a), 1);
    int64_t b = CreateOutputFile(&second, u"png");
    ASSERT_NE(b, 0);
    EXPECT_EQ(second, folder.In("pic_20261207143540.png"));
    ASSERT_EQ(CloseBinFile(b), 1);
    // The same second again: both names are taken, nothing is created or replaced.
    EXPECT_EQ(CreateOutputFile(&third, u"png"), 0);
    EXPECT_EQ(third, folder.In("pic.png"));
    EXPECT_EQ(PathSize(folder.In("pic.png")), 5);
    EXPECT_EQ(folder.FileCount(), 2);
}

TEST_F(OutputNameTest, AFolderInTheWayAlsoCountsAsTaken) {
    std::filesystem::create_directory(folder.path + "taken.jpg");
    String name = folder.In("taken.jpg");
    int64_t file = CreateOutputFile(&name, u"jpg");
    ASSERT_NE(file, 0);
    EXPECT_EQ(name, folder.In("taken_20261207143540.jpg"));
    CloseBinFile(file);
    // No folder at all to write into.
    String nowhere = folder.In("missing/pic.png");
    EXPECT_EQ(CreateOutputFile(&nowhere, u"png"), 0);
}

} // namespace
