#include "runtime/image/codecs.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/byte_compare.h"

#include <QImage>

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

const fs::path Suite = fs::path(TINTWELL_TESTDATA) / "pngsuite";

void StartCodecs() {
    StartImageRuntime();
    RegisterPngCodec();
}

// The file's own samples, read by libpng with no transform but unpacking
// (one byte per sample below 8 bits): palette indices and 16-bit values as
// stored, with the palette length and the tRNS colour. This is what the checks
// of colours that our decoding and Qt's are allowed to disagree on rely on.
struct RawPng {
    int width = 0, height = 0, bitDepth = 0, colourType = 0, channels = 0;
    int paletteSize = 0;
    bool hasTransparentColour = false;
    png_color_16 transparentColour{};
    std::vector<unsigned> samples; // width * channels per row

    unsigned Sample(int x, int y, int channel) const {
        return samples[(size_t(y) * width + x) * channels + channel];
    }
};

struct MemoryReader {
    const Bytes *data;
    size_t at;
};

void ReadMemory(png_structp png, png_bytep out, size_t length) {
    auto *reader = static_cast<MemoryReader *>(png_get_io_ptr(png));
    if (reader->at + length > reader->data->size()) png_error(png, "short");
    std::copy_n(reader->data->data() + reader->at, length, out);
    reader->at += length;
}

// Plain function around libpng's longjmp; `rows` is sized by the caller after
// the header is known, so it is filled through a pointer.
bool ReadRaw(const Bytes &data, RawPng *raw, std::vector<unsigned char> *rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{&data, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadMemory);
    png_read_info(png, info);
    raw->width = int(png_get_image_width(png, info));
    raw->height = int(png_get_image_height(png, info));
    raw->bitDepth = png_get_bit_depth(png, info);
    raw->colourType = png_get_color_type(png, info);
    raw->channels = png_get_channels(png, info);
    png_colorp palette;
    if (png_get_PLTE(png, info, &palette, &raw->paletteSize) == 0) raw->paletteSize = 0;
    png_bytep alphas;
    int alphaCount;
    png_color_16p colour;
    if (png_get_tRNS(png, info, &alphas, &alphaCount, &colour) &&
        raw->colourType != PNG_COLOR_TYPE_PALETTE) {
        raw->hasTransparentColour = true;
        raw->transparentColour = *colour;
    }
    if (raw->bitDepth < 8) png_set_packing(png);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t pitch = png_get_rowbytes(png, info);
    rows->assign(pitch * raw->height, 0);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < raw->height; ++y) png_read_row(png, rows->data() + pitch * y, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

RawPng RawSamples(const Bytes &data) {
    RawPng raw;
    std::vector<unsigned char> rows;
    if (!ReadRaw(data, &raw, &rows)) return raw;
    const int bytes = raw.bitDepth == 16 ? 2 : 1;
    raw.samples.resize(size_t(raw.width) * raw.height * raw.channels);
    for (size_t n = 0; n < raw.samples.size(); ++n)
        raw.samples[n] = bytes == 2 ? unsigned(rows[2 * n]) << 8 | rows[2 * n + 1] : rows[n];
    return raw;
}

// True when the stored sample equals the file's tRNS colour (grey or RGB).
bool IsTransparentColour(const RawPng &raw, int x, int y) {
    if (!raw.hasTransparentColour) return false;
    if (raw.colourType == PNG_COLOR_TYPE_GRAY)
        return raw.Sample(x, y, 0) == raw.transparentColour.gray;
    return raw.Sample(x, y, 0) == raw.transparentColour.red &&
           raw.Sample(x, y, 1) == raw.transparentColour.green &&
           raw.Sample(x, y, 2) == raw.transparentColour.blue;
}

// Compares our decoding of one file with Qt's. Returns a description of the
// first difference that none of the explained reasons covers, or "".
std::string CompareWithQt(const fs::path &path) {
    Bytes data = ReadFileBytes(path.string());
    int64_t image = DecodeImageFromMemory(-1, data.data(), int64_t(data.size()));
    if (!image) return "not decoded";
    QImage qt = QImage::fromData(data.data(), int(data.size()));
    if (qt.isNull()) {
        ReleaseImage(image);
        return "Qt cannot decode it";
    }
    qt = qt.convertToFormat(QImage::Format_RGBA8888);
    ImageRecord *record = LookupImage(image);
    RawPng raw = RawSamples(data);
    std::string problem;
    if (qt.width() != record->width || qt.height() != record->height) problem = "size differs";
    for (int y = 0; problem.empty() && y < record->height; ++y)
        for (int x = 0; problem.empty() && x < record->width; ++x) {
            const unsigned char *ours = record->pixels + (size_t(y) * record->width + x) * 4;
            const unsigned char *theirs = qt.constScanLine(y) + x * 4;
            if (std::equal(ours, ours + 4, theirs)) continue;
            // A fully transparent pixel has no visible colour; Qt may drop it.
            if (ours[3] == 0 && theirs[3] == 0) continue;
            // 16-bit samples: we keep the high byte, Qt rounds to the nearest
            // 8-bit value, so each channel may be one higher in Qt's result.
            bool offByOne = true;
            for (int n = 0; n < 4; ++n) offByOne = offByOne && std::abs(ours[n] - theirs[n]) <= 1;
            if (raw.bitDepth == 16 && offByOne) continue;
            // An index outside a short palette: libpng gives opaque black, Qt
            // another colour. Check ours against the index stored in the file.
            if (raw.colourType == PNG_COLOR_TYPE_PALETTE &&
                int(raw.Sample(x, y, 0)) >= raw.paletteSize && ours[0] == 0 && ours[1] == 0 &&
                ours[2] == 0 && ours[3] == 255)
                continue;
            // 16-bit grey or RGB with a tRNS colour: the file marks exactly the
            // samples equal to the full 16-bit value transparent, which Qt does
            // not apply. Ours must follow the file: alpha 0 exactly there,
            // colour = high bytes.
            if (raw.bitDepth == 16 && raw.hasTransparentColour) {
                bool transparent = IsTransparentColour(raw, x, y);
                bool colourOk = true;
                for (int n = 0; n < 3; ++n)
                    colourOk =
                        colourOk && ours[n] == (raw.Sample(x, y, raw.channels >= 3 ? n : 0) >> 8);
                if (colourOk && ours[3] == (transparent ? 0 : 255)) continue;
            }
            problem = "pixel " + std::to_string(x) + "," + std::to_string(y) + " ours " +
                      std::to_string(ours[0]) + " " + std::to_string(ours[1]) + " " +
                      std::to_string(ours[2]) + " " + std::to_string(ours[3]) + " Qt " +
                      std::to_string(theirs[0]) + " " + std::to_string(theirs[1]) + " " +
                      std::to_string(theirs[2]) + " " + std::to_string(theirs[3]);
        }
    ReleaseImage(image);
    return problem;
}

std::vector<fs::path> PngsIn(const fs::path &folder) {
    std::vector<fs::path> found;
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".png")
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

#define REQUIRE_SUITE()                                                                            \
    if (!fs::exists(Suite)) GTEST_SKIP() << "test images missing: " << Suite

} // namespace

TEST(PngCodec, ConformanceSuiteAgreesWithQt) {
    REQUIRE_SUITE();
    StartCodecs();
    int compared = 0;
    for (const char *folder : {"", "libpng-contrib", "libpng-contrib/interlaced", "libpng-testpngs",
                               "libpng-testpngs/badpal", "libpng-testpngs/png-3"}) {
        for (const fs::path &path : PngsIn(Suite / folder)) {
            if (path.parent_path() == Suite && path.filename().string()[0] == 'x') continue;
            EXPECT_EQ(CompareWithQt(path), "") << path;
            ++compared;
        }
    }
    // 161 valid suite images and the logo, 51 + 9 of libpng's copy, 106 + 9 + 1
    // generated ones.
    EXPECT_EQ(compared, 162 + 60 + 116);
}

TEST(PngCodec, CorruptFilesAreRejected) {
    REQUIRE_SUITE();
    StartCodecs();
    int rejected = 0;
    for (const fs::path &path : PngsIn(Suite)) {
        if (path.filename().string()[0] != 'x') continue;
        Bytes data = ReadFileBytes(path.string());
        EXPECT_EQ(DecodeImageFromMemory(-1, data.data(), int64_t(data.size())), 0) << path;
        EXPECT_EQ(DecodeImageFromMemory(7, data.data(), int64_t(data.size())), 0) << path;
        EXPECT_EQ(ImageExists(7), 0);
        ++rejected;
    }
    EXPECT_EQ(rejected, 14);
    int crashers = 0;
    for (const fs::path &path : PngsIn(Suite / "libpng-testpngs/crashers")) {
        Bytes data = ReadFileBytes(path.string());
        int64_t image = DecodeImageFromMemory(-1, data.data(), int64_t(data.size()));
        if (path.filename() == "empty_ancillary_chunks.png") {
            EXPECT_NE(image, 0);
            EXPECT_EQ(ImagePixelWidth(image), 1);
            ReleaseImage(image);
        } else {
            EXPECT_EQ(image, 0) << path;
        }
        ++crashers;
    }
    EXPECT_EQ(crashers, 23);
}

TEST(PngCodec, PaletteWithTransparencyGreyOneBitAndSixteenBitRgb) {
    REQUIRE_SUITE();
    StartCodecs();
    // Palette with tRNS: 32-bit pixels carrying the palette's alpha values.
    Bytes palette = ReadFileBytes((Suite / "tbbn3p08.png").string());
    int64_t image = DecodeImageFromMemory(-1, palette.data(), int64_t(palette.size()));
    ASSERT_NE(image, 0);
    EXPECT_EQ(ImageBitDepth(image, -2), 32);
    EXPECT_EQ(LookupImage(image)->formatTag, FormatPng);
    ImageRecord *record = LookupImage(image);
    int transparent = 0, opaque = 0;
    for (int n = 0; n < record->width * record->height; ++n) {
        transparent += record->pixels[n * 4 + 3] == 0;
        opaque += record->pixels[n * 4 + 3] == 255;
    }
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 0);
    EXPECT_EQ(transparent + opaque, 32 * 32);
    ReleaseImage(image);

    // 1-bit grey: R = G = B in {0, 255}, opaque, source depth 1, matching the file.
    Bytes grey = ReadFileBytes((Suite / "basn0g01.png").string());
    RawPng rawGrey = RawSamples(grey);
    image = DecodeImageFromMemory(-1, grey.data(), int64_t(grey.size()));
    ASSERT_NE(image, 0);
    EXPECT_EQ(ImageBitDepth(image, -2), 1);
    record = LookupImage(image);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const unsigned char *p = record->pixels + (y * 32 + x) * 4;
            unsigned expected = rawGrey.Sample(x, y, 0) ? 255 : 0;
            ASSERT_EQ(p[0], expected);
            ASSERT_EQ(p[1], expected);
            ASSERT_EQ(p[2], expected);
            ASSERT_EQ(p[3], 255);
        }
    ReleaseImage(image);

    // 16-bit RGB: every channel is the stored sample's high byte; depth 24.
    Bytes deep = ReadFileBytes((Suite / "basn2c16.png").string());
    RawPng rawDeep = RawSamples(deep);
    image = DecodeImageFromMemory(-1, deep.data(), int64_t(deep.size()));
    ASSERT_NE(image, 0);
    EXPECT_EQ(ImageBitDepth(image, -2), 24);
    record = LookupImage(image);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            for (int n = 0; n < 3; ++n)
                ASSERT_EQ(record->pixels[(y * 32 + x) * 4 + n], rawDeep.Sample(x, y, n) >> 8);
    ReleaseImage(image);

    // Grey with alpha keeps its bit depth as the source depth, RGBA is 32.
    Bytes greyAlpha = ReadFileBytes((Suite / "basn4a08.png").string());
    image = DecodeImageFromMemory(-1, greyAlpha.data(), int64_t(greyAlpha.size()));
    EXPECT_EQ(ImageBitDepth(image, -2), 8);
    ReleaseImage(image);
    // 4-bit grey with tRNS: turning tRNS into alpha widens it to 8 bits.
    Bytes greyTrns = ReadFileBytes((Suite / "tbbn0g04.png").string());
    image = DecodeImageFromMemory(-1, greyTrns.data(), int64_t(greyTrns.size()));
    EXPECT_EQ(ImageBitDepth(image, -2), 8);
    ReleaseImage(image);
    Bytes rgba = ReadFileBytes((Suite / "basn6a16.png").string());
    image = DecodeImageFromMemory(-1, rgba.data(), int64_t(rgba.size()));
    EXPECT_EQ(ImageBitDepth(image, -2), 32);
    ReleaseImage(image);
}

TEST(PngCodec, ShortAndTruncatedDataIsRefusedWithinItsSize) {
    REQUIRE_SUITE();
    StartCodecs();
    Bytes data = ReadFileBytes((Suite / "basn2c08.png").string());
    // Each cut is copied into a block of exactly that size, so reading past its
    // end would be caught by memory checkers.
    for (size_t cut : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(20), size_t(33),
                       data.size() / 2, data.size() - 13}) {
        Bytes part(data.begin(), data.begin() + std::ptrdiff_t(cut));
        unsigned char *block = static_cast<unsigned char *>(std::malloc(cut ? cut : 1));
        std::copy(part.begin(), part.end(), block);
        EXPECT_EQ(DecodeImageFromMemory(-1, block, int64_t(cut)), 0) << cut;
        std::free(block);
    }
    // The whole file decodes within its exact size; the unknown-size default
    // also works because the data's own structure ends the reading.
    int64_t image = DecodeImageFromMemory(-1, data.data(), int64_t(data.size()));
    EXPECT_NE(image, 0);
    ReleaseImage(image);
    image = DecodeImageFromMemory(-1, data.data());
    EXPECT_NE(image, 0);
    ReleaseImage(image);
}

TEST(PngCodec, BottomUpDecodeFlag) {
    REQUIRE_SUITE();
    StartCodecs();
    Bytes data = ReadFileBytes((Suite / "basn6a08.png").string());
    int64_t upright = DecodeImageFromMemory(-1, data.data(), int64_t(data.size()));
    ASSERT_NE(upright, 0);
    // Drive the registered decoder by hand to have it write the bottom row first.
    const ImageDecoder *png = FindImageDecoder(FormatPng);
    ASSERT_NE(png, nullptr);
    DecodeState state{};
    state.address = state.cursor = data.data();
    state.end = data.data() + data.size();
    ASSERT_EQ(png->check(&state), 1);
    ASSERT_EQ(state.pixelSize, 32);
    std::vector<unsigned char> rows(32 * 32 * 4);
    EXPECT_EQ(png->decode(&state, rows.data(), 32 * 4, DecodeBottomUp), 1);
    png->release(&state);
    EXPECT_EQ(state.codecRead, nullptr);
    const unsigned char *pixels = LookupImage(upright)->pixels;
    for (int y = 0; y < 32; ++y)
        EXPECT_TRUE(
            std::equal(pixels + y * 128, pixels + y * 128 + 128, rows.data() + (31 - y) * 128))
            << y;
    ReleaseImage(upright);
}
