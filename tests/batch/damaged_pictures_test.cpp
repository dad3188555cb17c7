// Pictures whose bytes or names lie: data that ends before the last row, heads
// that declare far more than the file holds, bitmaps that skip pixels, turned
// pictures only the platform reads, a PNG named as another format. All through
// the built tintwell-batch, as a user meets them: the line it prints for each
// file and the file it writes.
#include "tests/batch/batch_harness.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_jpeg.h"

#include <QImage>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes &b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) b.push_back((unsigned char)(v >> (8 * i)));
}

// An 8-bit run-length bitmap of grey levels, w x h, with `runs` as its codes.
Bytes RunLengthBmp(int w, int h, const Bytes &runs) {
    Bytes b = {'B', 'M'};
    for (uint32_t v : {uint32_t(1078 + runs.size()), 0u, 1078u, 40u, uint32_t(w), uint32_t(h)})
        Put(b, v, 4);
    Put(b, 1, 2), Put(b, 8, 2);
    for (uint32_t v : {1u, uint32_t(runs.size()), 2835u, 2835u, 256u, 0u}) Put(b, v, 4);
    for (uint32_t i = 0; i < 256; i++) Put(b, i * 0x10101, 4);
    b.insert(b.end(), runs.begin(), runs.end());
    return b;
}

// A w x h GIF of 128 grey levels whose LZW codes are each a byte: a clear code
// every 100 pixels keeps the table below 256 entries.
Bytes Gif(int w, int h) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put(b, uint32_t(w), 2), Put(b, uint32_t(h), 2), Put(b, 0xF6, 3);
    for (uint32_t i = 0; i < 128; i++) Put(b, i * 2 * 0x10101, 3);
    b.push_back(',');
    Put(b, 0, 4), Put(b, uint32_t(w), 2), Put(b, uint32_t(h), 2), Put(b, 0x700, 2);
    Bytes codes;
    for (int i = 0; i < w * h; i++) {
        if (i % 100 == 0) codes.push_back(128);
        codes.push_back((unsigned char)((i % w + i / w) & 127));
    }
    codes.push_back(129);
    for (size_t at = 0; at < codes.size(); at += 255) {
        size_t n = std::min<size_t>(255, codes.size() - at);
        b.push_back((unsigned char)n);
        b.insert(b.end(), codes.begin() + long(at), codes.begin() + long(at + n));
    }
    b.insert(b.end(), {0, ';'});
    return b;
}

// A JPEG of the harness's picture in TurboJPEG's pixel format `format`.
Bytes MadeJpeg(int w, int h, int format, int flags) {
    QImage rgba = Picture(w, h, false).convertToFormat(QImage::Format_RGBA8888);
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgba.constBits(), w, w * 4, h, format, &jpeg, &size, TJSAMP_444, 90, flags);
    Bytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

// `bytes` with the big-endian width and height at `at` (a frame header's or a
// PNG head's) replaced; for a PNG, with the head's checksum made to match.
Bytes Declaring(Bytes bytes, size_t at, int size, uint32_t w, uint32_t h, bool png) {
    for (int i = 0; i < size; i++) {
        bytes[at + size * (png ? 0 : 1) + i] = (unsigned char)(w >> (8 * (size - 1 - i)));
        bytes[at + size * (png ? 1 : 0) + i] = (unsigned char)(h >> (8 * (size - 1 - i)));
    }
    uint32_t sum = uint32_t(crc32(0, &bytes[12], 17));
    for (int i = 0; png && i < 4; i++) bytes[29 + i] = (unsigned char)(sum >> (24 - 8 * i));
    return bytes;
}

Bytes FirstPart(Bytes bytes, double share) {
    bytes.resize(size_t(double(bytes.size()) * share));
    return bytes;
}

} // namespace

TEST(DamagedPictures, EveryFileEndsAsItsBytesAllow) {
    TempFolder in("tintwell-damaged-in"), out("tintwell-damaged-out"),
        alone("tintwell-damaged-alone"), data("tintwell-damaged-data");
    Bytes baseline = MadeJpeg(640, 480, TJPF_RGBA, 0);
    Bytes progressive = MadeJpeg(64, 48, TJPF_RGBA, TJFLAG_PROGRESSIVE);
    size_t frame = 0; // the progressive frame header's height field
    while (!(progressive[frame] == 0xFF && progressive[frame + 1] == 0xC2)) frame++;
    Picture(640, 480, false).save(QString::fromStdString(in.path + "bmp"), "BMP");
    Picture(640, 480, false).save(QString::fromStdString(in.path + "png"), "PNG");
    // A run of 16 pixels, a skip over 20 pixels and 2 rows, one more run, the end.
    Bytes runs = {16, 200, 0, 2, 20, 2, 8, 120, 0, 1};
    std::string xbm = "#define b_width 32767\n#define b_height 32767\nstatic char b[] = {0x00,";
    QImage bright(40, 6, QImage::Format_Indexed8);
    bright.setColorCount(256);
    for (int i = 0; i < 256; i++) bright.setColor(i, qRgb(255, 255 - i / 4, 200));
    bright.fill(7);

    struct Case {
        std::string name;
        Bytes bytes;
        std::string line;        // what the run prints for the file
        std::string output = ""; // the file written, if any, and its size
        int width = 0, height = 0;
    } cases[] = {
        {"whole.jpg", baseline, "[Done]  whole.jpg", "whole.jpg", 640, 480},
        {"cut.jpg", FirstPart(baseline, 0.4), "[Error]  cut.jpg  cut short after row 184 of 480"},
        {"hundredth.jpg", FirstPart(baseline, 0.01),
         "[Error]  hundredth.jpg  cut short after row 0 of 480"},
        {"progressive-cut.jpg", FirstPart(progressive, 0.6),
         "[Error]  progressive-cut.jpg  cut short after row 0 of 48"},
        {"bomb.jpg", Declaring(progressive, frame + 5, 2, 30000, 30000, false),
         "[Error]  bomb.jpg  needs about 6.5 GB, over the limit"},
        {"bomb.png", Declaring(in.Read("png"), 16, 4, 30000, 30000, true),
         "[Error]  bomb.png  needs about 4.1 GB, over the limit"},
        {"png-named.tif", in.Read("png"), "[Done]  png-named.tif", "png-named_tif.png", 640, 480},
        {"jpeg-named.png", baseline, "[Done]  jpeg-named.png", "jpeg-named_png.jpg", 640, 480},
        {"notes.jpg", Bytes{'t', 'e', 'x', 't'},
         "[Error]  notes.jpg  not a picture this program reads"},
        {"gone.jpg", Bytes{0}, "[Error]  gone.jpg  cannot open: No such file or directory"},
        {"png-cut.png", FirstPart(in.Read("png"), 0.5),
         "[Error]  png-cut.png  cut short after row 234 of 480"},
        {"gif-cut.gif", FirstPart(Gif(64, 48), 0.6),
         "[Error]  gif-cut.gif  cut short after row 26 of 48"},
        {"bitmap-cut.bmp", FirstPart(in.Read("bmp"), 0.5),
         "[Error]  bitmap-cut.bmp  cut short after row 239 of 480"},
        {"runs-cut.bmp", RunLengthBmp(40, 6, Bytes(runs.begin(), runs.begin() + 6)),
         "[Error]  runs-cut.bmp  cut short after row 2 of 6"},
        {"bomb.xbm", Bytes(xbm.begin(), xbm.end()),
         "[Error]  bomb.xbm  cut short after row 0 of 32767"},
        // A CMYK JPEG is read as a JPEG, and written as one: as stored, its
        // orientation carried over.
        {"cmyk-turned.jpg",
         WithSegment(MadeJpeg(60, 40, TJPF_CMYK, 0), ExifSegment(true, {{0x0112, 6}})),
         "[Done]  cmyk-turned.jpg", "cmyk-turned.jpg", 60, 40},
        // Pixels the codes skip show nothing of the bright picture before.
        {"bright.bmp", Bytes(), "[Done]  bright.bmp", "bright_bmp.png", 40, 6},
        {"runs.bmp", RunLengthBmp(40, 6, runs), "[Done]  runs.bmp", "runs_bmp.png", 40, 6},
    };
    std::string arguments;
    for (Case &c : cases) {
        if (c.name == "gone.jpg")
            std::filesystem::create_symlink(in.path + "nowhere", in.path + c.name);
        else if (c.bytes.empty())
            bright.save(QString::fromStdString(in.path + c.name), "BMP");
        else
            WriteFile(in.path + c.name, c.bytes);
        arguments += " " + in.path + c.name;
    }
    Result run = RunBatchCommand("-j 1 --memory-limit 2G -o " + out.path + arguments, data.path);
    EXPECT_EQ(run.exit, 1) << run.output;
    EXPECT_EQ(Lines(run.output).size(), std::size(cases) + 1) << run.output;
    for (const Case &c : cases) {
        EXPECT_NE(run.output.find(c.line + "\n"), std::string::npos) << c.line << "\n"
                                                                     << run.output;
        if (c.output.empty()) continue;
        QImage written(QString::fromStdString(out.path + c.output));
        EXPECT_EQ(written.size(), QSize(c.width, c.height)) << c.name;
    }
    EXPECT_EQ(FileCount(out.path), 6) << "only whole pictures are written";
    EXPECT_EQ(RunBatchCommand("-o " + alone.path + " " + in.path + "runs.bmp", data.path).exit, 0);
    EXPECT_TRUE(alone.Read("runs_bmp.png") == out.Read("runs_bmp.png"));
}
