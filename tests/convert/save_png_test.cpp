#include "convert/save_png.h"

#include "convert/output_name.h"
#include "convert/stop_flag.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/dates.h"
#include "runtime/base/text.h"
#include "runtime/image/codecs.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/byte_compare.h"
#include "tests/support/temp_folder.h"

#include <QImage>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

using Bytes = std::vector<unsigned char>;

int64_t FixedClock() {
    return CurrentDate(2026, 12, 7, 14, 35, 40);
}

uint32_t Big32(const unsigned char *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

class SavePngTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        StartBaseRuntime();
        StartImageRuntime();
        RegisterPngCodec();
    }
    void SetUp() override {
        SaveClock = FixedClock;
        ClearStopRequest();
        ASSERT_FALSE(folder.path.empty());
    }
    void TearDown() override { ClearStopRequest(); }
    TempFolder folder{"tintwell-savepng"};
};

// An image of pseudo-random pixels (alpha included): little for deflate to find.
int64_t NoiseImage(int64_t w, int64_t h, uint32_t seed) {
    int64_t image = NewImage(-1, w, h, 32);
    EXPECT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    for (int64_t y = 0; y < h; y++) {
        unsigned char *p = TargetPixels() + y * TargetPitch();
        for (int64_t i = 0; i < w * 4; i++) {
            seed = seed * 1664525u + 1013904223u;
            // Smooth in x with a little noise, like a photograph.
            p[i] = (unsigned char)((i / 4 + y) * (i % 4 + 1) + (seed >> 29));
        }
    }
    CloseDrawTarget();
    return image;
}

// Every row of the image behind its filter byte, Sub-filtered, written out here
// independently of the writer.
Bytes SubFilteredRows(int64_t image) {
    int64_t w = ImagePixelWidth(image), h = ImagePixelHeight(image);
    Bytes filtered;
    EXPECT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    for (int64_t y = 0; y < h; y++) {
        const unsigned char *row = TargetPixels() + y * TargetPitch();
        filtered.push_back(1);
        for (int64_t i = 0; i < w * 4; i++)
            filtered.push_back((unsigned char)(row[i] - (i >= 4 ? row[i - 4] : 0)));
    }
    CloseDrawTarget();
    return filtered;
}

// The PNG the writer must produce, built independently: all rows Sub-filtered into
// one buffer and deflated in one call with the same settings.
Bytes ReferencePng(int64_t image) {
    int64_t w = ImagePixelWidth(image), h = ImagePixelHeight(image);
    Bytes filtered = SubFilteredRows(image);
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 3, Z_DEFLATED, 15, 8, Z_FILTERED), Z_OK);
    Bytes zdata(deflateBound(&z, uLong(filtered.size())));
    z.next_in = filtered.data();
    z.avail_in = uInt(filtered.size());
    z.next_out = zdata.data();
    z.avail_out = uInt(zdata.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    zdata.resize(z.total_out);
    deflateEnd(&z);

    auto put32 = [](Bytes &b, uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back((unsigned char)(v >> s));
    };
    auto chunk = [&](Bytes &png, const char *type, const Bytes &data) {
        put32(png, uint32_t(data.size()));
        Bytes body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        put32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
    };
    Bytes png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    put32(ihdr, uint32_t(w));
    put32(ihdr, uint32_t(h));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", zdata);
    chunk(png, "IEND", {});
    return png;
}

TEST_F(SavePngTest, OnePixelExactBytesAndDecodesBack) {
    int64_t image = NewImage(-1, 1, 1, 32);
    ASSERT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    const unsigned char pixel[4] = {10, 20, 30, 40};
    std::memcpy(TargetPixels(), pixel, 4);
    CloseDrawTarget();

    int64_t length = WritePngRgba(image, folder.In("one.png"));
    ASSERT_GT(length, 0);
    Bytes png = folder.Read("one.png");
    const Bytes head = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00,
                        0x0D, 'I',  'H',  'D',  'R',  0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                        0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89};
    ASSERT_EQ(png.size(), 33u + 8 + size_t(length) + 4 + 12);
    EXPECT_EQ(Bytes(png.begin(), png.begin() + 33), head);
    // The IDAT length patched at byte 33 is the zlib stream's real length.
    EXPECT_EQ(Big32(&png[33]), uint32_t(length));
    EXPECT_EQ(std::memcmp(&png[37], "IDAT", 4), 0);
    EXPECT_EQ(Big32(&png[41 + length]), uint32_t(crc32(0, &png[37], uInt(4 + length))));
    const Bytes end = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(Bytes(png.end() - 12, png.end()), end);
    // The stream inflates completely to the one Sub-filtered row.
    unsigned char row[16];
    uLongf rowLength = sizeof row;
    ASSERT_EQ(uncompress(row, &rowLength, &png[41], uLong(length)), Z_OK);
    EXPECT_EQ(Bytes(row, row + rowLength), Bytes({1, 10, 20, 30, 40}));

    // libpng through the codec registry.
    int64_t decoded = DecodeImageFromMemory(-1, png.data(), int64_t(png.size()));
    ASSERT_NE(decoded, 0);
    ASSERT_NE(OpenDrawTarget(ImageTarget(decoded)), 0);
    EXPECT_EQ(Bytes(TargetPixels(), TargetPixels() + 4), Bytes(pixel, pixel + 4));
    CloseDrawTarget();
    ReleaseImage(decoded);
    // Qt's reader.
    QImage qt;
    ASSERT_TRUE(qt.load(QString::fromStdString(folder.path + "one.png")));
    qt = qt.convertToFormat(QImage::Format_RGBA8888);
    EXPECT_EQ(Bytes(qt.constBits(), qt.constBits() + 4), Bytes(pixel, pixel + 4));
    ReleaseImage(image);
}

TEST_F(SavePngTest, ByteForByteWithSeveralOutputBuffers) {
    // 700 x 300 of noise deflates to well over the 64 KiB output buffer.
    int64_t image = NoiseImage(700, 300, 12345);
    int64_t length = WritePngRgba(image, folder.In("noise.png"));
    Bytes png = folder.Read("noise.png");
    Bytes reference = ReferencePng(image);
    EXPECT_GT(length, 65536);
    EXPECT_EQ(png.size(), reference.size());
    EXPECT_TRUE(SameBytes(png, reference)) << "the streaming writer against the one-shot reference";
    int64_t decoded = DecodeImageFromMemory(-1, png.data(), int64_t(png.size()));
    ASSERT_NE(decoded, 0);
    ASSERT_NE(OpenDrawTarget(ImageTarget(decoded)), 0);
    Bytes got(TargetPixels(), TargetPixels() + 700 * 300 * 4);
    CloseDrawTarget();
    ASSERT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    Bytes want(TargetPixels(), TargetPixels() + 700 * 300 * 4);
    CloseDrawTarget();
    EXPECT_TRUE(SameBytes(got, want));
    ReleaseImage(decoded);
    ReleaseImage(image);
}

TEST_F(SavePngTest, LargePicturesCompressInPiecesIntoOneValidStream) {
    // 1200 x 900: 3.8 MB of filtered rows, four pieces compressed over two threads.
    const int64_t w = 1200, h = 900;
    int64_t image = NoiseImage(w, h, 99);
    ASSERT_GT(WritePngRgba(image, folder.In("large.png")), 0);
    Bytes png = folder.Read("large.png");
    Bytes reference = ReferencePng(image);
    ASSERT_GT(png.size(), 41u);
    uint32_t idat = Big32(&png[33]);
    ASSERT_EQ(png.size(), 8 + 25 + 12 + idat + 12);
    EXPECT_EQ(std::memcmp(&png[37], "IDAT", 4), 0);
    EXPECT_EQ(Big32(&png[41 + idat]), uint32_t(crc32(0, &png[37], idat + 4)));
    // Within 1 % of the one-stream size.
    uint32_t single = Big32(&reference[33]);
    EXPECT_LT(std::abs(double(idat) - double(single)), 0.01 * single) << idat << " vs " << single;

    // zlib inflates it (checking the combined Adler-32) to exactly the filtered rows.
    Bytes filtered = SubFilteredRows(image);
    ASSERT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    Bytes want(TargetPixels(), TargetPixels() + w * h * 4);
    CloseDrawTarget();
    Bytes inflated(filtered.size() + 16);
    uLongf size = uLongf(inflated.size());
    ASSERT_EQ(uncompress(inflated.data(), &size, &png[41], idat), Z_OK);
    inflated.resize(size);
    EXPECT_TRUE(SameBytes(inflated, filtered));

    // The program's decoder and Qt's give back the pixels.
    int64_t decoded = DecodeImageFromMemory(-1, png.data(), int64_t(png.size()));
    ASSERT_NE(decoded, 0);
    ASSERT_NE(OpenDrawTarget(ImageTarget(decoded)), 0);
    Bytes got(TargetPixels(), TargetPixels() + w * h * 4);
    CloseDrawTarget();
    EXPECT_TRUE(SameBytes(got, want));
    QImage qt =
        QImage::fromData(png.data(), int(png.size())).convertToFormat(QImage::Format_RGBA8888);
    ASSERT_EQ(qt.width(), w);
    EXPECT_EQ(std::memcmp(qt.constBits(), want.data(), want.size()), 0);
    // The same picture written again gives the same bytes, whichever thread took
    // which piece.
    ASSERT_GT(WritePngRgba(image, folder.In("again.png")), 0);
    EXPECT_TRUE(SameBytes(folder.Read("again.png"), png));
    ReleaseImage(decoded);
    ReleaseImage(image);
}

TEST_F(SavePngTest, NamesCollisionsAndNoReplacing) {
    int64_t image = NoiseImage(8, 8, 1);
    ASSERT_EQ(SavePng(image, folder.In("scan.tif")), 1);
    ASSERT_EQ(SavePng(image, folder.In("scan.tif")), 1);
    ASSERT_EQ(SavePng(image, folder.In("scan.tif")), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "scan_tif.png"));
    EXPECT_TRUE(std::filesystem::exists(folder.path + "scan_tif_20261207143540.png"));
    EXPECT_TRUE(std::filesystem::exists(folder.path + "scan_tif_20261207143540_2.png"));
    ASSERT_EQ(SavePng(image, folder.In("icon.PNG")), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "icon.PNG"));
    ASSERT_EQ(SavePng(image, folder.In("noext")), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "noext_.png"));
    ASSERT_EQ(SavePng(image, folder.In("a.b.c.tif")), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.path + "a.b.c_tif.png"));
    EXPECT_EQ(folder.FileCount(), 6);
    // WritePngRgba itself never replaces a file either.
    std::ofstream(folder.path + "keep.png") << "keep";
    EXPECT_EQ(WritePngRgba(image, folder.In("keep.png")), 0);
    EXPECT_EQ(folder.Read("keep.png"), Bytes({'k', 'e', 'e', 'p'}));
    ReleaseImage(image);
}

TEST_F(SavePngTest, StopLeavesNoFile) {
    // Noise barely compresses: writing this takes long enough (about a second)
    // that the stopper below always sets the flag while rows are being written.
    int64_t image = NoiseImage(4000, 3000, 7);
    RequestStop();
    EXPECT_EQ(SavePng(image, folder.In("stopped.png")), 0);
    EXPECT_EQ(folder.FileCount(), 0);
    ClearStopRequest();

    // A stop that arrives while the rows are being written into the draft.
    std::atomic<bool> done{false};
    std::thread stopper([&] {
        while (!done && folder.FileCount() == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        RequestStop();
    });
    int result = SavePng(image, folder.In("late.png"));
    done = true;
    stopper.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folder.FileCount(), 0) << "neither the picture nor its draft is left";
    ReleaseImage(image);
}

TEST_F(SavePngTest, WriteFailuresReportZeroAndLeaveNoFile) {
    int64_t image = NoiseImage(400, 300, 3);
    EXPECT_EQ(SavePng(987654, folder.In("none.png")), 0);
    EXPECT_EQ(WritePngRgba(987654, folder.In("none.png")), 0);
    EXPECT_EQ(SavePng(image, folder.In("no/such/folder.png")), 0);
    EXPECT_EQ(folder.FileCount(), 0);

    // A file-size limit makes a write fail part way, as a full disk would: once in
    // the rows and once at the very end (only the closing chunk is refused).
    int64_t full = WritePngRgba(image, folder.In("size.png"));
    ASSERT_GT(full, 0);
    ASSERT_TRUE(std::filesystem::remove(folder.path + "size.png"));
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    int results[2];
    rlim_t limits[2] = {20000, rlim_t(33 + 8 + full + 4)}; // the second cuts off IEND
    for (int i = 0; i < 2; i++) {
        struct rlimit small = old;
        small.rlim_cur = limits[i];
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        results[i] = SavePng(image, folder.In("full.png"));
        setrlimit(RLIMIT_FSIZE, &old);
    }
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(folder.FileCount(), 0);
    EXPECT_EQ(SavePng(image, folder.In("after.png")), 1);
    ReleaseImage(image);
}

} // namespace
