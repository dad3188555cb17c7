#include "resources/pictures.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint32_t BigEndian32(const unsigned char *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

struct Expected {
    const char *file;
    uint32_t width, height;
    int colourType; // 2 RGB, 3 palette, 6 RGBA
};

const Expected Table[PictureCount] = {
    {"slider_strip.png", 488, 16, 2},       {"sample.png", 256, 192, 2},
    {"drop_banner.png", 319, 25, 6},        {"help_icon.png", 24, 24, 6},
    {"info_icon.png", 24, 24, 6},           {"app_icon.png", 192, 192, 3},
    {"sample_background.png", 256, 192, 2},
};

struct Chunk {
    std::string type;
    const unsigned char *data;
    uint32_t length;
};

// Walks the chunk list; empty when a length overruns the data, a CRC is wrong, or the data does
// not end exactly after IEND. That catches a truncated or altered embedding.
std::vector<Chunk> Chunks(EmbeddedData png) {
    std::vector<Chunk> out;
    size_t at = 8;
    while (at + 12 <= png.size) {
        uint32_t length = BigEndian32(png.bytes + at);
        if (length > png.size - at - 12) return {};
        const unsigned char *type = png.bytes + at + 4;
        uLong crc = crc32(0, type, 4 + length);
        if (crc != BigEndian32(type + 4 + length)) return {};
        out.push_back({std::string(reinterpret_cast<const char *>(type), 4), type + 4, length});
        at += 12 + length;
        if (out.back().type == "IEND") return at == png.size ? out : std::vector<Chunk>{};
    }
    return {};
}

int Paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Decodes an 8-bit, non-interlaced RGB picture into rows of R, G, B bytes; empty on any fault.
std::vector<unsigned char> DecodeRgb(EmbeddedData png, uint32_t &width, uint32_t &height) {
    std::vector<Chunk> chunks = Chunks(png);
    if (chunks.empty() || chunks[0].type != "IHDR" || chunks[0].length != 13) return {};
    const unsigned char *ihdr = chunks[0].data;
    width = BigEndian32(ihdr);
    height = BigEndian32(ihdr + 4);
    if (ihdr[8] != 8 || ihdr[9] != 2 || ihdr[12] != 0) return {};
    std::vector<unsigned char> compressed;
    for (const Chunk &c : chunks)
        if (c.type == "IDAT") compressed.insert(compressed.end(), c.data, c.data + c.length);
    size_t stride = size_t(width) * 3;
    std::vector<unsigned char> raw((stride + 1) * height);
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, compressed.data(), compressed.size()) != Z_OK ||
        rawSize != raw.size())
        return {};
    std::vector<unsigned char> pixels(stride * height);
    for (uint32_t y = 0; y < height; ++y) {
        int filter = raw[y * (stride + 1)];
        const unsigned char *in = &raw[y * (stride + 1) + 1];
        unsigned char *row = &pixels[y * stride];
        const unsigned char *up = y ? row - stride : nullptr;
        for (size_t i = 0; i < stride; ++i) {
            int a = i >= 3 ? row[i - 3] : 0, b = up ? up[i] : 0, c = up && i >= 3 ? up[i - 3] : 0;
            int predict = 0;
            switch (filter) {
            case 0:
                predict = 0;
                break;
            case 1:
                predict = a;
                break;
            case 2:
                predict = b;
                break;
            case 3:
                predict = (a + b) / 2;
                break;
            case 4:
                predict = Paeth(a, b, c);
                break;
            default:
                return {};
            }
            row[i] = static_cast<unsigned char>(in[i] + predict);
        }
    }
    return pixels;
}

TEST(Pictures, HeadersMatchTheImageTable) {
    for (int n = 0; n < PictureCount; ++n) {
        SCOPED_TRACE(Table[n].file);
        EmbeddedData png = PictureData(n);
        ASSERT_NE(png.bytes, nullptr);
        ASSERT_GT(png.size, 33u);
        const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        EXPECT_EQ(std::memcmp(png.bytes, signature, 8), 0);
        // IHDR is the first chunk: length 13, then width, height, depth, colour type.
        EXPECT_EQ(BigEndian32(png.bytes + 8), 13u);
        EXPECT_EQ(std::memcmp(png.bytes + 12, "IHDR", 4), 0);
        EXPECT_EQ(BigEndian32(png.bytes + 16), Table[n].width);
        EXPECT_EQ(BigEndian32(png.bytes + 20), Table[n].height);
        EXPECT_EQ(png.bytes[24], 8) << "bit depth";
        EXPECT_EQ(png.bytes[25], Table[n].colourType);
        EXPECT_EQ(png.bytes[28], 0) << "interlace";
    }
}

TEST(Pictures, OnlyNumbersZeroToSixExist) {
    for (int n : {-1, 7, 8, 1000, -2147483647 - 1}) {
        EmbeddedData none = PictureData(n);
        EXPECT_EQ(none.bytes, nullptr) << n;
        EXPECT_EQ(none.size, 0u) << n;
    }
}

TEST(Pictures, EmbeddedBytesEqualTheCommittedFiles) {
    for (int n = 0; n < PictureCount; ++n) {
        SCOPED_TRACE(Table[n].file);
        std::ifstream file(std::string(TINTWELL_PICTURES) + "/" + Table[n].file, std::ios::binary);
        ASSERT_TRUE(file) << "committed picture missing";
        std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), {}};
        EmbeddedData png = PictureData(n);
        ASSERT_EQ(png.size, bytes.size());
        EXPECT_EQ(std::memcmp(png.bytes, bytes.data(), bytes.size()), 0);
        std::vector<Chunk> chunks = Chunks(png);
        ASSERT_FALSE(chunks.empty()) << "chunk list or CRC broken";
        // A palette picture needs its PLTE before the image data.
        if (Table[n].colourType == 3) {
            EXPECT_EQ(chunks[1].type, "PLTE");
        }
    }
}

// Both sample pictures end in 20 rows that run from black at x = 0 to white at x = 255, the
// strip a dropped sample never covers; the toned sample shows the gradient there.
TEST(Pictures, SamplesCarryTheGreyRampInRows172To191) {
    for (int n : {1, 6}) {
        SCOPED_TRACE(Table[n].file);
        uint32_t w = 0, h = 0;
        std::vector<unsigned char> rgb = DecodeRgb(PictureData(n), w, h);
        ASSERT_FALSE(rgb.empty());
        int wrong = 0;
        for (uint32_t y = 172; y < 192; ++y)
            for (uint32_t x = 0; x < 256; ++x)
                for (int k = 0; k < 3; ++k) wrong += rgb[(y * w + x) * 3 + k] != x;
        EXPECT_EQ(wrong, 0);
        // Above the ramp the picture is grey only; the photograph has real contrast, the
        // background is one plain colour.
        int minimum = 255, maximum = 0, coloured = 0;
        for (uint32_t i = 0; i < 256 * 172; ++i) {
            const unsigned char *p = &rgb[i * 3];
            coloured += p[0] != p[1] || p[1] != p[2];
            minimum = std::min<int>(minimum, p[0]);
            maximum = std::max<int>(maximum, p[0]);
        }
        EXPECT_EQ(coloured, 0);
        if (n == 1) {
            EXPECT_GT(maximum - minimum, 150);
        } else {
            EXPECT_EQ(maximum, minimum);
        }
    }
}

// The slider shows a 244-wide window of the strip at x = ToneShift - 122; every column outside
// the sun must be the same track so that no seam appears, and the sun sits centred on 244.
TEST(Pictures, SliderStripIsOneTrackWithTheSunAt244) {
    uint32_t w = 0, h = 0;
    std::vector<unsigned char> rgb = DecodeRgb(PictureData(0), w, h);
    ASSERT_FALSE(rgb.empty());
    auto column = [&](uint32_t x) {
        std::vector<unsigned char> c;
        for (uint32_t y = 0; y < h; ++y)
            c.insert(c.end(), &rgb[(y * w + x) * 3], &rgb[(y * w + x) * 3 + 3]);
        return c;
    };
    std::vector<unsigned char> track = column(0);
    uint32_t first = w, last = 0;
    for (uint32_t x = 0; x < w; ++x) {
        if (column(x) == track) continue;
        first = std::min(first, x);
        last = std::max(last, x);
    }
    ASSERT_LT(first, w) << "no sun drawn";
    EXPECT_EQ(first + last, 2u * 244u) << "sun spans " << first << ".." << last;
    EXPECT_LE(last - first, 20u);
    // The sun is coloured; the track is grey.
    const unsigned char *centre = &rgb[(8 * w + 244) * 3];
    EXPECT_FALSE(centre[0] == centre[1] && centre[1] == centre[2]);
    for (uint32_t y = 0; y < h; ++y)
        EXPECT_TRUE(track[y * 3] == track[y * 3 + 1] && track[y * 3 + 1] == track[y * 3 + 2]);
}

} // namespace
