// Pictures whose bytes lie: data that ends before the last row, heads that
// declare far more than the file holds, bitmaps that skip pixels, turned
// pictures only the platform reads. Each through the built tintwell-batch, as a
// user meets it: the line it prints and the file it writes, or does not.
#include "tests/batch/batch_harness.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_jpeg.h"

#include <QImage>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <turbojpeg.h>
#include <zlib.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes &b, int v) {
    b.insert(b.end(), {(unsigned char)v, (unsigned char)(v >> 8)});
}
void Put32(Bytes &b, uint32_t v) {
    Put16(b, int(v & 0xFFFF)), Put16(b, int(v >> 16));
}

// An 8-bit run-length bitmap, w x h, of grey levels: `runs` is its coded data.
Bytes RunLengthBmp(int w, int h, const Bytes &runs) {
    Bytes b = {'B', 'M'};
    Put32(b, uint32_t(14 + 40 + 1024 + runs.size()));
    Put32(b, 0);
    Put32(b, 14 + 40 + 1024);
    for (uint32_t v : {40u, uint32_t(w), uint32_t(h)}) Put32(b, v);
    Put16(b, 1), Put16(b, 8);
    for (uint32_t v : {1u, uint32_t(runs.size()), 2835u, 2835u, 256u, 0u}) Put32(b, v);
    for (int i = 0; i < 256; i++)
        b.insert(b.end(), {(unsigned char)i, (unsigned char)i, (unsigned char)i, 0});
    b.insert(b.end(), runs.begin(), runs.end());
    return b;
}

// A JPEG of the harness's picture, made with TurboJPEG's own flags and colours.
Bytes MadeJpeg(int w, int h, int pixelFormat, int flags) {
    QImage rgba = Picture(w, h, false).convertToFormat(QImage::Format_RGBA8888);
    Bytes pixels(size_t(w) * h * 4);
    for (int y = 0; y < h; y++)
        std::memcpy(&pixels[size_t(y) * w * 4], rgba.constScanLine(y), size_t(w) * 4);
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    Bytes out;
    if (tjCompress2(handle, pixels.data(), w, w * 4, h, pixelFormat, &jpeg, &size, TJSAMP_444, 90,
                    flags) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

// The same JPEG declaring another size in its frame header.
Bytes Declaring(Bytes jpeg, int w, int h) {
    for (size_t i = 2; i + 9 < jpeg.size(); i++)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = (unsigned char)(h >> 8), jpeg[i + 6] = (unsigned char)h;
            jpeg[i + 7] = (unsigned char)(w >> 8), jpeg[i + 8] = (unsigned char)w;
            break;
        }
    return jpeg;
}

Bytes FirstPart(Bytes bytes, double share) {
    bytes.resize(size_t(double(bytes.size()) * share));
    return bytes;
}

Bytes SavedAs(const QImage &image, const char *format) {
    TempFolder folder("tintwell-damaged-save");
    std::string path = folder.path + "picture";
    image.save(QString::fromStdString(path), format);
    return folder.Read("picture");
}

// A PNG of `image` whose head declares w x h (its checksum made to match).
Bytes PngDeclaring(const QImage &image, uint32_t w, uint32_t h) {
    Bytes png = SavedAs(image, "PNG");
    for (int i = 0; i < 4; i++)
        png[16 + i] = (unsigned char)(w >> (24 - 8 * i)), png[20 + i] = (unsigned char)(h >> (24 - 8 * i));
    uint32_t sum = uint32_t(crc32(0, &png[12], 17));
    for (int i = 0; i < 4; i++) png[29 + i] = (unsigned char)(sum >> (24 - 8 * i));
    return png;
}

// The line of the file `path` names, as the batch command shows it, with the
// name written as just `name`.
std::string LineOf(const std::string &output, const std::string &path, const std::string &name) {
    for (std::string line : Lines(output)) {
        size_t at = line.find("  " + path);
        bool whole = at != std::string::npos &&
                     (line.size() == at + 2 + path.size() || line[at + 2 + path.size()] == ' ');
        if (whole) return line.replace(at + 2, path.size(), name);
    }
    return "(no line for " + name + ")";
}

} // namespace

TEST(DamagedPictures, EveryFileEndsAsItsBytesAllow) {
    TempFolder in("tintwell-damaged-in"), out("tintwell-damaged-out"),
        data("tintwell-damaged-data");
    QImage photo = Picture(640, 480, false);
    Bytes baseline = MadeJpeg(640, 480, TJPF_RGBA, 0);
    Bytes progressive = MadeJpeg(64, 48, TJPF_RGBA, TJFLAG_PROGRESSIVE);
    Bytes cmyk = MadeJpeg(60, 40, TJPF_CMYK, 0);
    // A row of 16 pixels, a skip over 20 pixels and 2 rows, one more run, the end:
    // everything the codes skip is left to the reader.
    Bytes runs = {16, 200, 0, 2, 20, 2, 8, 120, 0, 1};
    Bytes xbm = {'#', 'd', 'e', 'f', 'i', 'n', 'e', ' ', 'b', '_', 'w', 'i', 'd', 't', 'h', ' '};
    for (const char *c = "32767\n#define b_height 32767\nstatic char b_bits[] = {0x00,0xff,"; *c;
         c++)
        xbm.push_back((unsigned char)*c);

    struct Case {
        std::string name;
        Bytes bytes;
        std::string line;        // the line the run prints for the file
        std::string output = ""; // the file written, if any, and its size
        int width = 0, height = 0;
    } cases[] = {
        {"whole.jpg", baseline, "[Done]  whole.jpg", "whole.jpg", 640, 480},
        {"cut.jpg", FirstPart(baseline, 0.4), "[Error]  cut.jpg  cut short after row 184 of 480"},
        {"hundredth.jpg", FirstPart(baseline, 0.01),
         "[Error]  hundredth.jpg  cut short after row 0 of 480"},
        {"progressive-cut.jpg", FirstPart(progressive, 0.6),
         "[Error]  progressive-cut.jpg  cut short after row 0 of 48"},
        {"bomb.jpg", Declaring(progressive, 30000, 30000),
         "[Error]  bomb.jpg  needs about 6.5 GB, over the limit"},
        {"bomb.png", PngDeclaring(Picture(16, 16, true), 30000, 30000),
         "[Error]  bomb.png  needs about 4.1 GB, over the limit"},
        {"bitmap-cut.bmp", FirstPart(SavedAs(photo, "BMP"), 0.5),
         "[Error]  bitmap-cut.bmp  cut short after row 239 of 480"},
        {"runs.bmp", RunLengthBmp(40, 6, runs), "[Done]  runs.bmp", "runs_bmp.png", 40, 6},
        {"runs-cut.bmp", RunLengthBmp(40, 6, Bytes(runs.begin(), runs.begin() + 6)),
         "[Error]  runs-cut.bmp  cut short after row 2 of 6"},
        {"bomb.xbm", xbm, "[Error]  bomb.xbm  cut short after row 0 of 32767"},
        {"cmyk-turned.jpg", WithSegment(cmyk, ExifSegment(true, {{0x0112, 6}})),
         "[Done]  cmyk-turned.jpg", "cmyk-turned_jpg.png", 40, 60},
    };
    for (const Case &c : cases) WriteFile(in.path + c.name, c.bytes);

    Result run =
        RunBatchCommand("-j 2 --memory-limit 4G -o " + out.path + " " + in.path, data.path);
    EXPECT_EQ(run.exit, 1) << run.output;
    for (const Case &c : cases) {
        EXPECT_EQ(LineOf(run.output, in.path + c.name, c.name), c.line);
        if (c.output.empty()) continue;
        QImage written(QString::fromStdString(out.path + c.output));
        EXPECT_EQ(written.size(), QSize(c.width, c.height)) << c.name;
    }
    EXPECT_EQ(FileCount(out.path), 3) << "only whole pictures are written";
}

// A bitmap whose codes skip pixels gives the same file after a bright picture
// as alone: nothing of the earlier picture's memory shows through the skips.
TEST(DamagedPictures, SkippedPixelsCarryNothingOfTheFileBefore) {
    TempFolder folder("tintwell-skips-in"), alone("tintwell-skips-alone"),
        after("tintwell-skips-after"), data("tintwell-skips-data");
    QImage bright(40, 6, QImage::Format_Indexed8);
    bright.setColorCount(256);
    for (int i = 0; i < 256; i++) bright.setColor(i, qRgb(255, 255 - i / 4, 200));
    bright.fill(7);
    ASSERT_TRUE(bright.save(QString::fromStdString(folder.path + "a-bright.bmp"), "BMP"));
    WriteFile(folder.path + "b-runs.bmp",
              RunLengthBmp(40, 6, {16, 200, 0, 2, 20, 2, 8, 120, 0, 1}));

    Result first =
        RunBatchCommand("-j 1 -o " + alone.path + " " + folder.path + "b-runs.bmp", data.path);
    Result second = RunBatchCommand("-j 1 -o " + after.path + " " + folder.path + "a-bright.bmp " +
                                        folder.path + "b-runs.bmp",
                                    data.path);
    ASSERT_EQ(first.exit, 0) << first.output;
    ASSERT_EQ(second.exit, 0) << second.output;
    Bytes expected = alone.Read("b-runs_bmp.png");
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(expected == after.Read("b-runs_bmp.png"));
}
