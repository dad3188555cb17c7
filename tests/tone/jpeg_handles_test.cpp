#include "tone/jpeg_handles.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// Compresses and decompresses a small picture through the shared handles.
bool RoundTrip() {
    std::vector<unsigned char> rgb(16 * 8 * 3, 128);
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(JpegCompressor(), rgb.data(), 16, 48, 8, TJPF_RGB, &jpeg, &size, TJSAMP_444, 90,
                    0) != 0)
        return false;
    int w = 0, h = 0, sub = 0, space = 0;
    bool ok =
        tjDecompressHeader3(JpegDecompressor(), jpeg, size, &w, &h, &sub, &space) == 0 && w == 16 &&
        h == 8 &&
        tjDecompress2(JpegDecompressor(), jpeg, size, rgb.data(), 16, 48, 8, TJPF_RGB, 0) == 0;
    tjFree(jpeg);
    return ok;
}

TEST(JpegHandles, StartIsIdempotentAndReplacementsWork) {
    ASSERT_EQ(StartJpegHandles(), 1);
    tjhandle decompressor = JpegDecompressor(), compressor = JpegCompressor();
    ASSERT_EQ(StartJpegHandles(), 1);
    EXPECT_EQ(JpegDecompressor(), decompressor);
    EXPECT_EQ(JpegCompressor(), compressor);
    EXPECT_TRUE(RoundTrip());
    EXPECT_EQ(ReplaceJpegDecompressor(), 1);
    EXPECT_EQ(ReplaceJpegCompressor(), 1);
    EXPECT_NE(JpegDecompressor(), nullptr);
    EXPECT_NE(JpegCompressor(), nullptr);
    EXPECT_TRUE(RoundTrip());
    EndJpegHandles();
    EXPECT_EQ(JpegDecompressor(), nullptr);
    EXPECT_EQ(JpegCompressor(), nullptr);
    EXPECT_EQ(StartJpegHandles(), 1);
    EXPECT_TRUE(RoundTrip());
}

TEST(JpegHandles, EachThreadHasItsOwnPair) {
    ASSERT_EQ(StartJpegHandles(), 1);
    tjhandle mine = JpegDecompressor();
    tjhandle theirs = nullptr, theirsAfterStart = nullptr;
    bool roundTrip = false;
    std::thread other([&] {
        theirs = JpegDecompressor(); // nothing yet on a new thread
        StartJpegHandles();
        theirsAfterStart = JpegDecompressor();
        roundTrip = RoundTrip();
    });
    other.join();
    EXPECT_EQ(theirs, nullptr);
    EXPECT_NE(theirsAfterStart, nullptr);
    EXPECT_NE(theirsAfterStart, mine);
    EXPECT_TRUE(roundTrip);
    EXPECT_EQ(JpegDecompressor(), mine); // this thread's pair is untouched
    EXPECT_TRUE(RoundTrip());
}

TEST(JpegHandles, PixelFormatFollowsTheLayoutFlags) {
    EXPECT_EQ(JpegPixelFormat(0x20), TJPF_RGBA);
    EXPECT_EQ(JpegPixelFormat(0x20 | 0x8000), TJPF_RGBA);
    EXPECT_EQ(JpegPixelFormat(0x08), TJPF_RGB);
    EXPECT_EQ(JpegPixelFormat(0x40), TJPF_BGRA);
    EXPECT_EQ(JpegPixelFormat(0x10), TJPF_BGR);
    EXPECT_EQ(JpegPixelFormat(0), TJPF_BGR);
    EXPECT_EQ(JpegPixelFormat(0x20 | 0x40), TJPF_RGBA); // 0x20 is tested first
}

} // namespace
