// What the fuzz runs found in the parsers, pinned down as ordinary tests; the
// inputs the fuzzers found are also in the corpora the replay tests run.
#include "batch/batch_options.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/codecs.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/byte_compare.h"
#include "tests/support/image_pixels.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

int Parse(std::vector<std::string> words, std::string *error) {
    std::vector<const char *> argv{"tintwell-batch"};
    for (const std::string &word : words) argv.push_back(word.c_str());
    BatchOptions options;
    return ParseBatchArguments(int(argv.size()), argv.data(), &options, error);
}

// One PNG chunk: length, type, data, CRC over type and data. `length` stands in
// the header; the data may be shorter (a chunk cut off by the end of the file).
Bytes Chunk(const char *type, const Bytes &data, uint32_t length) {
    Bytes chunk(8 + data.size());
    for (int i = 0; i < 4; i++) chunk[size_t(i)] = uint8_t(length >> (24 - 8 * i));
    std::memcpy(chunk.data() + 4, type, 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    uLong crc = crc32(0, chunk.data() + 4, uInt(4 + data.size()));
    for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(uint8_t(crc >> shift));
    return chunk;
}
Bytes Chunk(const char *type, const Bytes &data) {
    return Chunk(type, data, uint32_t(data.size()));
}

// `png` with `chunk` put right after the IHDR chunk (8 signature + 25 IHDR bytes).
Bytes WithChunkAfterHeader(const Bytes &png, const Bytes &chunk) {
    Bytes out(png.begin(), png.begin() + 33);
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

// A 5 x 3 RGB PNG written by the program's own encoder.
Bytes SmallPng() {
    TempFolder folder{"tintwell-fuzz-findings"};
    int64_t image = NewImage(-1, 5, 3, 24);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) SetPixel(image, x, y, {x * 50, y * 100, 7, 255});
    String name = folder.In("small.png");
    EXPECT_NE(EncodeImageFile(image, name, FormatPng), 0);
    ReleaseImage(image);
    return ReadFileBytes(Utf8Of(name));
}

} // namespace

// A value quoting an argument with a line feed in it kept the line feed, so the
// usage error printed on two lines; control characters now show as "?".
TEST(FuzzFindings, BatchUsageErrorStaysOneLine) {
    std::string error;
    EXPECT_EQ(Parse({"-o", "out", "-\nr", "in.jpg"}, &error), 0);
    EXPECT_EQ(error, "unknown option -?");
    EXPECT_EQ(Parse({"-o", "out", "--quality=\x1b[2J\r", "in.jpg"}, &error), 0);
    EXPECT_EQ(error, "--quality must be medium or high, not \"?[2J?\"");
    EXPECT_EQ(Parse({"--shift", "1\n2", "-o", "out", "in.jpg"}, &error), 0);
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    // Printable bytes, UTF-8 included, are quoted as given.
    EXPECT_EQ(Parse({"-o", "out", "-q", "h\xc3\xb6", "in.jpg"}, &error), 0);
    EXPECT_EQ(error, "--quality must be medium or high, not \"h\xc3\xb6\"");
}

// A text chunk claiming 1 GiB in a file of a few dozen bytes made libpng allocate
// the whole 1 GiB before finding that the data ends; such chunks are now skipped
// unread. The file is still refused, and pictures carrying text, profile and
// EXIF chunks still decode to the same pixels as without them.
TEST(FuzzFindings, PngChunksTheDecoderDoesNotUseAreSkipped) {
    StartBaseRuntime();
    StartImageRuntime();
    RegisterPngCodec();
    const Bytes png = SmallPng();
    ASSERT_GT(png.size(), 33u);
    int64_t plain = DecodeImageFromMemory(-1, png.data(), int64_t(png.size()));
    ASSERT_NE(plain, 0);

    const Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
    for (const char *type : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "pCAL", "sCAL", "eXIf"}) {
        // Claimed far past the end of the data: refused, whatever the chunk.
        Bytes huge = WithChunkAfterHeader(png, Chunk(type, text, 0x3FFFFFFF));
        huge.resize(33 + 8 + text.size()); // the file ends inside the chunk
        EXPECT_EQ(DecodeImageFromMemory(-1, huge.data(), int64_t(huge.size())), 0) << type;

        // A chunk of sensible size, even one whose content is nonsense, is passed
        // over and the picture decodes as before.
        Bytes carrying = WithChunkAfterHeader(png, Chunk(type, text));
        int64_t image = DecodeImageFromMemory(-1, carrying.data(), int64_t(carrying.size()));
        ASSERT_NE(image, 0) << type;
        ASSERT_EQ(ImagePixelWidth(image), 5);
        ASSERT_EQ(ImagePixelHeight(image), 3);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 5; x++)
                EXPECT_EQ(PixelOf(image, x, y), PixelOf(plain, x, y))
                    << type << " " << x << "," << y;
        ReleaseImage(image);
    }
    ReleaseImage(plain);

    // The PNG suite's pictures with text and EXIF chunks, where present.
    for (const char *name : {"ct1n0g04.png", "ctzn0g04.png", "cten0g04.png", "exif2c08.png"}) {
        Bytes file = ReadFileBytes(std::string(TINTWELL_TESTDATA) + "/pngsuite/" + name);
        if (file.empty()) continue;
        int64_t image = DecodeImageFromMemory(-1, file.data(), int64_t(file.size()));
        EXPECT_NE(image, 0) << name;
        if (image) {
            EXPECT_EQ(ImagePixelWidth(image), 32) << name;
        }
        ReleaseImage(image);
    }
}
