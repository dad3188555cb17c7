#include "tone/load_jpeg.h"

#include "runtime/base/base_runtime.h"
#include "runtime/base/failure_reason.h"
#include "runtime/base/text.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_jpeg.h"
#include "tone/jpeg_handles.h"
#include "tone/load_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

class LoadJpegTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        StartBaseRuntime();
        StartImageRuntime();
        RegisterPngCodec();
        ASSERT_EQ(StartJpegHandles(), 1);
    }
    void SetUp() override { ASSERT_FALSE(folder.path.empty()); }

    String Write(const std::string &name, const Bytes &bytes) {
        std::string path = folder.path + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return StringFromUtf8(path);
    }

    TempFolder folder{"tintwell-loadjpeg"};
};

// A w x h JPEG of a smooth colour ramp, made with the same library the loader uses.
Bytes MakeJpeg(int w, int h, int quality = 90, int flags = 0) {
    std::vector<unsigned char> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned char *p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = (unsigned char)(x * 255 / (w > 1 ? w - 1 : 1));
            p[1] = (unsigned char)(y * 255 / (h > 1 ? h - 1 : 1));
            p[2] = 96;
        }
    Bytes out = EncodeTestJpeg(rgb.data(), w, h, TJSAMP_420, quality, flags);
    EXPECT_FALSE(out.empty());
    return out;
}

struct Loaded {
    int64_t image;
    int64_t width;
    int64_t height;
    int orientation;
};

Loaded Load(const String &path, int64_t maxWidth, int64_t maxHeight) {
    Loaded out{0, 0, 0, -1};
    out.image = LoadJpegScaled(path, maxWidth, maxHeight, &out.orientation);
    if (out.image) {
        out.width = ImagePixelWidth(out.image);
        out.height = ImagePixelHeight(out.image);
    }
    return out;
}

TEST(ReadJpegOrientation, FindsTheTagInBothByteOrders) {
    Bytes jpeg = MakeJpeg(16, 16);
    for (bool little : {true, false}) {
        Bytes file = WithSegment(jpeg, ExifSegment(little, {{0x010F, 7}, {0x0112, 6}}));
        EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 6) << little;
    }
    // Behind a JFIF APP0 segment (TurboJPEG writes one) it is still found.
    Bytes file = jpeg;
    Bytes three = ExifSegment(true, {{0x0112, 3}});
    ASSERT_EQ(file[2], 0xFF);
    ASSERT_EQ(file[3], 0xE0);
    file.insert(file.begin() + 20, three.begin(), three.end());
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 3);
    // No orientation entry, no EXIF at all.
    file = WithSegment(jpeg, ExifSegment(true, {{0x010F, 6}}));
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 0);
    EXPECT_EQ(ReadJpegOrientation(jpeg.data(), jpeg.size()), 0);
}

TEST(ReadJpegOrientation, XmpFirstEndsTheSearch) {
    // APP1 carrying the XMP name space identifier instead of "Exif".
    const char text[] = "\xFF\xE1\x00\x1F"
                        "http://ns.adobe.com/xap/1.0/";
    Bytes xmp(text, text + sizeof text); // the terminating zero ends the identifier
    ASSERT_EQ(xmp.size() - 2, 0x1Fu);
    Bytes file = WithSegment(MakeJpeg(16, 16), ExifSegment(true, {{0x0112, 6}}));
    file = WithSegment(file, xmp); // XMP first, EXIF after it
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 0);
}

TEST(ReadJpegOrientation, DamagedOffsetsStayInsideTheData) {
    Bytes jpeg = MakeJpeg(16, 16);
    Bytes segment = ExifSegment(true, {{0x0112, 6}});
    // IFD0 offset far beyond the data.
    Bytes bad = segment;
    bad[14] = 0xFF, bad[15] = 0xFF, bad[16] = 0xFF, bad[17] = 0x7F;
    Bytes file = WithSegment(jpeg, bad);
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 0);
    // An entry count that runs past the end of the file: the tag is not first, so
    // the walk has to go on into the void.
    bad = ExifSegment(true, {{0x010F, 1}});
    bad[18] = 0xFF, bad[19] = 0xFF;
    file = Bytes(jpeg.begin(), jpeg.begin() + 2);
    file.insert(file.end(), bad.begin(), bad.end());
    file.resize(file.size() + 40, 0);
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 0);
    // A segment length of 0 or 1 would never move the scan on.
    file = Bytes(jpeg.begin(), jpeg.begin() + 2);
    file.insert(file.end(), {0xFF, 0xE0, 0x00, 0x00});
    file.resize(100, 0xFF);
    EXPECT_EQ(ReadJpegOrientation(file.data(), file.size()), 0);
    // Too short to hold anything, and no data at all.
    EXPECT_EQ(ReadJpegOrientation(jpeg.data(), 37), 0);
    EXPECT_EQ(ReadJpegOrientation(nullptr, 0), 0);
}

TEST(FitRatio, BoxBelowOneLimitsNothing) {
    EXPECT_DOUBLE_EQ(FitRatio(4000, 3000, 1000, 1000), 0.25);
    EXPECT_DOUBLE_EQ(FitRatio(1000, 800, 900, 900), 0.9);
    EXPECT_DOUBLE_EQ(FitRatio(1000, 800, 0, 400), 0.5);
    EXPECT_DOUBLE_EQ(FitRatio(1000, 800, -5, 0), 2147483647.0 / 1000);
}

TEST(ScaledSideHalfEven, RoundsHalvesToEvenAndKeepsOnePixel) {
    EXPECT_EQ(ScaledSideHalfEven(5, 0.5), 2); // 2.5
    EXPECT_EQ(ScaledSideHalfEven(7, 0.5), 4); // 3.5
    EXPECT_EQ(ScaledSideHalfEven(4000, 1.0 / 3), 1333);
    EXPECT_EQ(ScaledSideHalfEven(3, 0.01), 1); // 0.03 would be no pixel at all
    EXPECT_EQ(BoxSide(0), 32767);
    EXPECT_EQ(BoxSide(40000), 32767);
    EXPECT_EQ(BoxSide(500), 500);
}

TEST_F(LoadJpegTest, SizingExamples) {
    // 4000 x 3000 into 1000 x 1000 decodes at 2/8 to 1000 x 750: no resize needed.
    String big = Write("big.jpg", MakeJpeg(4000, 3000, 75));
    Loaded l = Load(big, 1000, 1000);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 1000);
    EXPECT_EQ(l.height, 750);
    EXPECT_EQ(l.orientation, 0);
    ReleaseImage(l.image);

    // 1000 x 800 into 900 x 900: full-size decode, resized to 900 x 720.
    String mid = Write("mid.jpg", MakeJpeg(1000, 800));
    l = Load(mid, 900, 900);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 900);
    EXPECT_EQ(l.height, 720);
    ReleaseImage(l.image);

    // A box of 0 in one direction limits only the other; 0 in both: full size.
    l = Load(mid, 0, 400);
    EXPECT_EQ(l.width, 500);
    EXPECT_EQ(l.height, 400);
    ReleaseImage(l.image);
    l = Load(mid, 250, -1);
    EXPECT_EQ(l.width, 250);
    EXPECT_EQ(l.height, 200);
    ReleaseImage(l.image);
    l = Load(mid, 0, 0);
    EXPECT_EQ(l.width, 1000);
    EXPECT_EQ(l.height, 800);
    ReleaseImage(l.image);
}

TEST_F(LoadJpegTest, SmallerThanTheBoxIsUntouched) {
    Bytes jpeg = MakeJpeg(300, 200);
    String path = Write("small.jpg", jpeg);
    Loaded l = Load(path, 1000, 1000);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 300);
    EXPECT_EQ(l.height, 200);
    // The pixels are TurboJPEG's own full-size decode, opaque.
    tjhandle handle = tjInitDecompress();
    std::vector<unsigned char> expected(300 * 200 * 4);
    ASSERT_EQ(tjDecompress2(handle, jpeg.data(), jpeg.size(), expected.data(), 300, 1200, 200,
                            TJPF_RGBA, TJFLAG_ACCURATEDCT),
              0);
    tjDestroy(handle);
    ASSERT_NE(OpenDrawTarget(ImageTarget(l.image)), 0);
    EXPECT_EQ(std::memcmp(TargetPixels(), expected.data(), expected.size()), 0);
    CloseDrawTarget();
    ReleaseImage(l.image);
}

TEST_F(LoadJpegTest, OrientationSixSwapsTheBox) {
    // Stored 3000 x 4000, shown upright 4000 x 3000; box 2000 x 1000 applies upright,
    // so the stored picture goes into 1000 x 2000: 1000 x 1333 (1333.33 rounded).
    String path = Write("turned.jpg",
                        WithSegment(MakeJpeg(3000, 4000, 70), ExifSegment(false, {{0x0112, 6}})));
    Loaded l = Load(path, 2000, 1000);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 1000);
    EXPECT_EQ(l.height, 1333);
    EXPECT_EQ(l.orientation, 6);
    ReleaseImage(l.image);
    // Orientation 3 keeps the box as it is.
    path = Write("upside.jpg", WithSegment(MakeJpeg(300, 400), ExifSegment(true, {{0x0112, 3}})));
    l = Load(path, 150, 1000);
    EXPECT_EQ(l.width, 150);
    EXPECT_EQ(l.height, 200);
    EXPECT_EQ(l.orientation, 3);
    ReleaseImage(l.image);
}

TEST_F(LoadJpegTest, ThinPicturesKeepOnePixelAndHugeOnesFitAnImage) {
    // 4000 x 2 into 100 x 100: the height would round to 0.
    Loaded l = Load(Write("wide.jpg", MakeJpeg(4000, 2)), 100, 100);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 100);
    EXPECT_EQ(l.height, 1);
    ReleaseImage(l.image);
    l = Load(Write("tall.jpg", MakeJpeg(3, 5000)), 100, 100);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 1);
    EXPECT_EQ(l.height, 100);
    ReleaseImage(l.image);
    // Wider than an image can be, with no box: brought into 32767 pixels.
    l = Load(Write("huge.jpg", MakeJpeg(40000, 16)), 0, 0);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 32767);
    EXPECT_EQ(l.height, 13); // 16 x 32767 / 40000 = 13.1
    ReleaseImage(l.image);
}

TEST_F(LoadJpegTest, RefusesWhatIsNotAJpeg) {
    Bytes jpeg = MakeJpeg(64, 64);
    // 96 bytes or shorter, wrong first bytes, missing file.
    EXPECT_EQ(Load(Write("short.jpg", Bytes(jpeg.begin(), jpeg.begin() + 96)), 0, 0).image, 0);
    Bytes png = {0x89, 'P', 'N', 'G'};
    png.resize(200, 0);
    EXPECT_EQ(Load(Write("png.jpg", png), 0, 0).image, 0);
    EXPECT_EQ(Load(folder.In("missing.jpg"), 0, 0).image, 0);
    // A header TurboJPEG cannot parse.
    Bytes junk = {0xFF, 0xD8, 0xFF, 0xE0};
    junk.resize(200, 0x11);
    EXPECT_EQ(Load(Write("junk.jpg", junk), 0, 0).image, 0);
    // After all of these a good JPEG still loads.
    Loaded l = Load(Write("good.jpg", jpeg), 0, 0);
    EXPECT_NE(l.image, 0);
    ReleaseImage(l.image);
}

TEST_F(LoadJpegTest, WarningsThatLoseNoRowsStillGiveAPicture) {
    Bytes jpeg = MakeJpeg(64, 48);
    // Stray bytes before the end-of-image marker make libjpeg warn.
    Bytes stray = jpeg;
    stray.insert(stray.end() - 2, {0x12, 0x34, 0x56});
    Loaded l = Load(Write("stray.jpg", stray), 0, 0);
    ASSERT_NE(l.image, 0);
    EXPECT_EQ(l.width, 64);
    EXPECT_EQ(l.height, 48);
    ReleaseImage(l.image);
    // A truncated file: the decoder fills the missing rows with grey and only
    // warns, but rows are missing, so there is no picture, and the reason says so.
    Bytes cut(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3);
    l = Load(Write("cut.jpg", cut), 0, 0);
    EXPECT_EQ(l.image, 0);
    EXPECT_EQ(TakeFailureReason(), "cut short after row 0 of 48");
}

TEST_F(LoadJpegTest, AWarningInTheHeaderStillLoadsThroughTheJpegPath) {
    Bytes jpeg = MakeJpeg(64, 48);
    ASSERT_EQ(jpeg[2], 0xFF);
    ASSERT_EQ(jpeg[3], 0xE0); // APP0 first; stray bytes go right behind it
    size_t behindApp0 = 4 + (size_t(jpeg[4]) << 8 | jpeg[5]);
    jpeg.insert(jpeg.begin() + long(behindApp0), {0x12, 0x34});
    int orientation = -1;
    int64_t image = LoadJpegScaled(Write("header-warning.jpg", jpeg), 0, 0, &orientation);
    ASSERT_NE(image, 0);
    EXPECT_EQ(ImagePixelWidth(image), 64);
    EXPECT_EQ(ImagePixelHeight(image), 48);
    EXPECT_EQ(orientation, 0);
    ReleaseImage(image);
}

TEST_F(LoadJpegTest, AFatalErrorAfterAWarningIsAFailure) {
    // A progressive file with stray bytes before its second scan, whose header is
    // then damaged: the decoder stops early but still reports a warning code.
    Bytes jpeg = MakeJpeg(64, 48, 90, TJFLAG_PROGRESSIVE);
    size_t scans = 0, second = 0;
    for (size_t i = 2; i + 1 < jpeg.size(); i++)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA && ++scans == 2) {
            second = i;
            break;
        }
    ASSERT_GT(second, 0u);
    jpeg[second + 2] = 0;
    jpeg[second + 3] = 1; // a scan header length no decoder can accept
    jpeg.insert(jpeg.begin() + long(second), {0x12, 0x34, 0x56});

    // What the decoder itself answers for this file: failure, yet a warning code.
    tjhandle probe = tjInitDecompress();
    std::vector<unsigned char> rgba(64 * 48 * 4);
    EXPECT_NE(tjDecompress2(probe, jpeg.data(), (unsigned long)jpeg.size(), rgba.data(), 64, 256,
                            48, TJPF_RGBA, 0),
              0);
    EXPECT_EQ(tjGetErrorCode(probe), TJERR_WARNING);
    tjDestroy(probe);

    EXPECT_EQ(LoadJpegScaled(Write("fatal.jpg", jpeg), 0, 0, nullptr), 0);
    // The decompressor was replaced: a good file loads afterwards.
    int64_t good = LoadJpegScaled(Write("good.jpg", MakeJpeg(64, 48)), 0, 0, nullptr);
    EXPECT_NE(good, 0);
    ReleaseImage(good);
}

TEST_F(LoadJpegTest, EveryTestFileAndRecoveryAfterTwelveBit) {
    std::string dir = std::string(TINTWELL_TESTDATA) + "/jpeg/";
    if (!std::filesystem::exists(dir + "testorig.jpg")) GTEST_SKIP() << "no test data at " << dir;
    struct Case {
        const char *name;
        int width, height;
    } eight[] = {{"testorig.jpg", 227, 149},   {"testimgint.jpg", 227, 149},
                 {"testimgfst.jpg", 227, 149}, {"testimgfst100.jpg", 227, 149},
                 {"testimgflt.jpg", 227, 149}, {"testimggray.jpg", 227, 149},
                 {"testimgari.jpg", 227, 149}, {"testimgp.jpg", 227, 149},
                 {"testimgpa.jpg", 227, 149},  {"testimgcrop.jpg", 124, 92}};
    for (const Case &c : eight) {
        Loaded l = Load(StringFromUtf8(dir + c.name), 0, 0);
        ASSERT_NE(l.image, 0) << c.name;
        EXPECT_EQ(l.width, c.width) << c.name;
        EXPECT_EQ(l.height, c.height) << c.name;
        EXPECT_EQ(l.orientation, 0) << c.name;
        ReleaseImage(l.image);
    }
    // The 12-bit files fail in TurboJPEG's header step; that must not spoil the
    // shared decompressor for the next file.
    for (const char *twelve : {"testorig12.jpg", "monkey12.jpg"}) {
        EXPECT_EQ(Load(StringFromUtf8(dir + twelve), 0, 0).image, 0) << twelve;
        // Whole chain: both loaders fail cleanly, or the platform reads it.
        LoadedImage any = LoadSourceImage(StringFromUtf8(dir + twelve), 0, 0);
        EXPECT_FALSE(any.fromJpeg);
        EXPECT_EQ(any.orientation, 0);
        if (any.image) ReleaseImage(any.image);
        Loaded l = Load(StringFromUtf8(dir + "testorig.jpg"), 100, 100);
        ASSERT_NE(l.image, 0) << "after " << twelve;
        EXPECT_EQ(l.width, 100);
        EXPECT_EQ(l.height, 66); // 149 x 100 / 227 = 65.6
        ReleaseImage(l.image);
    }
}

} // namespace
