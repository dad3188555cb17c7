// The camera RAW reader through the source layer: the RAW samples of the test
// data in a small box and in none, the TIFFs it must leave to the platform
// reader, and damaged copies it must refuse with their reason.
#include "tone/picture_source.h"

#include "runtime/base/base_runtime.h"
#include "runtime/base/memory_budget.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tests/support/temp_folder.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
const std::string Formats = std::string(TINTWELL_TESTDATA) + "/formats/";

// What the source layer made of a file: its reader, sizes and every row, or
// the reason it gave.
struct Outcome {
    bool opened = false;
    int kind = 0, orientation = 0;
    int64_t storedWidth = 0, storedHeight = 0, width = 0, height = 0;
    std::string reason;
    Bytes rgba;
};

Outcome Open(const std::string &path, int64_t boxWidth, int64_t boxHeight) {
    Outcome o;
    PictureSource source;
    o.opened = OpenPictureSource(source, StringFromUtf8(path), boxWidth, boxHeight);
    o.reason = source.Reason;
    if (!o.opened) return o;
    o.kind = source.Kind, o.orientation = source.Orientation;
    o.storedWidth = source.StoredWidth, o.storedHeight = source.StoredHeight;
    o.width = source.RowsWidth, o.height = source.RowsHeight;
    o.rgba.resize(size_t(o.width * o.height * 4));
    std::vector<unsigned char *> rows;
    for (int64_t y = 0; y < o.height; y++) rows.push_back(&o.rgba[size_t(y * o.width * 4)]);
    EXPECT_TRUE(ReadSourceRows(source, rows.data(), o.height)) << path;
    EXPECT_TRUE(FinishSource(source)) << path;
    return o;
}

void Write(const std::string &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Little-endian, as colorchart.dng is.
void Put(Bytes &bytes, size_t at, uint32_t value, int size = 4) {
    for (int i = 0; i < size; i++) bytes[at + size_t(i)] = (unsigned char)(value >> (8 * i));
}

// Where colorchart.dng keeps the values of its sensor's width and height, its
// orientation, and its active area (top, left, bottom, right).
constexpr size_t DngWidthAt = 30, DngHeightAt = 42, DngOrientationAt = 126, DngActiveAreaAt = 952;

TEST(SourceRaw, EverySampleAndDamagedCopy) {
    const std::string dng = Formats + "raw/colorchart.dng",
                      kdc = Formats + "raw/RAW_KODAK_DC50.KDC";
    if (!std::filesystem::exists(dng)) GTEST_SKIP() << "no test data at " << Formats;
    StartBaseRuntime();
    StartImageRuntime();
    TempFolder folder("tintwell-sourceraw");
    ASSERT_FALSE(folder.path.empty());
    std::ifstream dngIn(dng, std::ios::binary), kdcIn(kdc, std::ios::binary);
    const Bytes dngBytes(std::istreambuf_iterator<char>(dngIn), {});
    const Bytes kdcBytes(std::istreambuf_iterator<char>(kdcIn), {});

    Bytes turned = dngBytes, corrupt = kdcBytes, deep = dngBytes;
    Put(turned, DngOrientationAt, 6, 2);
    Write(folder.path + "turned.dng", turned);
    Write(folder.path + "cut.dng", Bytes(dngBytes.begin(), dngBytes.begin() + dngBytes.size() / 2));
    std::fill(corrupt.begin() + 40000, corrupt.begin() + 42000, 0xFF);
    Write(folder.path + "corrupt.kdc", corrupt);
    // 60000 x 60000 photosites: only around the same 1734 x 1156 picture (7.2 GB
    // unpacked), or all of them the picture.
    Put(deep, DngWidthAt, 60000), Put(deep, DngHeightAt, 60000);
    Write(folder.path + "deep.dng", deep);
    for (uint32_t i = 0; i < 4; i++) Put(deep, DngActiveAreaAt + 4 * i, i < 2 ? 0 : 60000);
    Write(folder.path + "huge.dng", deep);
    ASSERT_TRUE(QImage(40, 30, QImage::Format_RGB32)
                    .save(QString::fromStdString(folder.path + "plain.tif"), "TIFF"));
    Bytes garbage(400, 'x');
    std::copy_n("II*", 4, garbage.begin());
    Write(folder.path + "garbage.tif", garbage);

    struct Row {
        std::string path;
        int64_t boxWidth, boxHeight;
        int kind;
        int64_t storedWidth, storedHeight, width, height;
        std::string reason;
    } rows[] = {
        {dng, 256, 256, SourceRaw, 1734, 1156, 256, 171, ""},
        {dng, 0, 0, SourceRaw, 1734, 1156, 1734, 1156, ""},
        // The half-size picture (867 x 578) would not fill this box.
        {dng, 900, 600, SourceRaw, 1734, 1156, 900, 600, ""},
        {folder.path + "turned.dng", 256, 256, SourceRaw, 1734, 1156, 171, 256, ""},
        // The sensor's picture, not the 96 x 64 preview the TIFF starts with.
        {kdc, 256, 256, SourceRaw, 768, 512, 256, 171, ""},
        {kdc, 0, 0, SourceRaw, 768, 512, 768, 512, ""},
        {Formats + "icc/tifftag-photoshop.tiff", 0, 0, SourcePlatform, 317, 211, 317, 211, ""},
        {folder.path + "plain.tif", 0, 0, SourcePlatform, 40, 30, 40, 30, ""},
        {folder.path + "garbage.tif", 0, 0, 0, 0, 0, 0, 0, "not a picture this program reads"},
        {folder.path + "cut.dng", 0, 0, 0, 0, 0, 0, 0, "cut short"},
        {folder.path + "corrupt.kdc", 0, 0, 0, 0, 0, 0, 0, "cannot decode RAW: input/output error"},
        {folder.path + "huge.dng", 256, 256, 0, 0, 0, 0, 0,
         "60000 x 60000 pixels, over the largest side of 32767"},
        {folder.path + "deep.dng", 256, 256, 0, 0, 0, 0, 0, "needs about 7.2 GB, over the limit"},
    };
    SetMemoryLimit(2'000'000'000, 1);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path + " in " + std::to_string(row.boxWidth) + "x" +
                     std::to_string(row.boxHeight));
        Outcome o = Open(row.path, row.boxWidth, row.boxHeight);
        EXPECT_EQ(o.opened, row.reason.empty());
        EXPECT_EQ(o.reason, row.reason);
        EXPECT_EQ(o.kind, row.kind);
        EXPECT_EQ(o.storedWidth, row.storedWidth);
        EXPECT_EQ(o.storedHeight, row.storedHeight);
        EXPECT_EQ(o.width, row.width);
        EXPECT_EQ(o.height, row.height);
        int64_t translucent = 0;
        for (size_t i = 3; o.kind == SourceRaw && i < o.rgba.size(); i += 4)
            translucent += o.rgba[i] != 255;
        EXPECT_EQ(translucent, 0);
    }
    SetMemoryLimit(DefaultMemoryLimit(), 1);

    // The copy marked "turn clockwise" is the same picture turned, pixel for pixel.
    Outcome upright = Open(dng, 0, 0), turnedUpright = Open(folder.path + "turned.dng", 0, 0);
    EXPECT_EQ(upright.orientation, 1);
    EXPECT_EQ(turnedUpright.orientation, 6);
    ASSERT_EQ(turnedUpright.width, upright.height);
    ASSERT_EQ(turnedUpright.height, upright.width);
    int64_t moved = 0;
    for (int64_t y = 0; y < upright.height; y++)
        for (int64_t x = 0; x < upright.width; x++)
            moved +=
                std::memcmp(
                    &upright.rgba[size_t((y * upright.width + x) * 4)],
                    &turnedUpright.rgba[size_t((x * upright.height + upright.height - 1 - y) * 4)],
                    4) != 0;
    EXPECT_EQ(moved, 0);
}

} // namespace
