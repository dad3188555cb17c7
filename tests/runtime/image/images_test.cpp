#include "runtime/image/images.h"

#include "runtime/image/image_runtime.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const unsigned char *PixelAt(int64_t image, int x, int y) {
    ImageRecord *record = LookupImage(image);
    return record->pixels + (size_t(y) * record->width + x) * 4;
}

// Every pixel gets a distinct colour: R = x, G = y, B = 7, A = 200.
void PaintCoordinates(int64_t image) {
    ImageRecord *record = LookupImage(image);
    for (int y = 0; y < record->height; ++y)
        for (int x = 0; x < record->width; ++x) {
            unsigned char *p = record->pixels + (size_t(y) * record->width + x) * 4;
            p[0] = static_cast<unsigned char>(x), p[1] = static_cast<unsigned char>(y);
            p[2] = 7, p[3] = 200;
        }
}

} // namespace

TEST(Images, AutomaticNumbersWorkInEveryCallAndAreCheckedBeforeUse) {
    StartImageRuntime();
    int64_t image = NewImage(-1, 5, 4);
    ASSERT_NE(image, 0);
    EXPECT_EQ(ImageExists(image), 1);
    EXPECT_EQ(ImagePixelWidth(image), 5);
    EXPECT_EQ(ImagePixelHeight(image), 4);
    EXPECT_EQ(ImageBitDepth(image, 0), 32);
    EXPECT_NE(ImagePlatformHandle(image), 0);
    EXPECT_EQ(ImageExists(image + 8), 0);
    EXPECT_EQ(ImageExists(0x123456789), 0);
    EXPECT_EQ(ReleaseImage(image), 1);
    // Freed once: every later use is refused instead of touching freed memory.
    EXPECT_EQ(ImageExists(image), 0);
    EXPECT_EQ(ReleaseImage(image), 0);
    EXPECT_EQ(ImagePixelWidth(image), 0);
    EXPECT_EQ(ScaleImage(image, 2, 2), 0);
    EXPECT_EQ(DuplicateImage(image, -1), 0);
}

TEST(Images, ReusingAStaticNumberReplacesTheOldImage) {
    StartImageRuntime();
    int64_t first = NewImage(3, 10, 10);
    ASSERT_NE(first, 0);
    EXPECT_EQ(first, ImagePlatformHandle(3));
    int64_t second = NewImage(3, 20, 5, 24, 0xFF0000);
    ASSERT_NE(second, 0);
    EXPECT_EQ(second, ImagePlatformHandle(3));
    const QImage *view = reinterpret_cast<const QImage *>(second);
    EXPECT_EQ(view->width(), 20);
    EXPECT_EQ(view->height(), 5);
    EXPECT_EQ(view->format(), QImage::Format_RGBA8888);
    EXPECT_EQ(view->constBits(), LookupImage(3)->pixels);
    EXPECT_EQ(ImagePixelWidth(3), 20);
    ReleaseImage(3);
    EXPECT_EQ(ImagePlatformHandle(3), 0);
    EXPECT_EQ(ImageExists(3), 0);
}

TEST(Images, SourceDepthsAndFills) {
    StartImageRuntime();
    ASSERT_NE(NewImage(1, 2, 2), 0);
    EXPECT_EQ(ImageBitDepth(1, -2), 24);
    EXPECT_EQ(ImageBitDepth(1, 0), 32);
    const unsigned char black[4] = {0, 0, 0, 255};
    EXPECT_EQ(std::memcmp(PixelAt(1, 1, 1), black, 4), 0);

    ASSERT_NE(NewImage(1, 2, 2, 32), 0);
    EXPECT_EQ(ImageBitDepth(1, -2), 32);
    EXPECT_EQ(ImageBitDepth(1, 5), 32);

    ASSERT_NE(NewImage(1, 3, 2, 8, 0x332211), 0);
    EXPECT_EQ(ImageBitDepth(1, -2), 8);
    const unsigned char colour[4] = {0x11, 0x22, 0x33, 255};
    EXPECT_EQ(std::memcmp(PixelAt(1, 2, 1), colour, 4), 0);

    ASSERT_NE(NewImage(1, 3, 2, 32, -1), 0);
    const unsigned char clear[4] = {0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(PixelAt(1, 2, 1), clear, 4), 0);
    ReleaseImage(1);
    EXPECT_EQ(ImageBitDepth(1, -2), 0);
}

TEST(Images, SizesOutsideOneTo32767AreRefused) {
    StartImageRuntime();
    EXPECT_EQ(NewImage(-1, 0, 5), 0);
    EXPECT_EQ(NewImage(-1, 5, 0), 0);
    EXPECT_EQ(NewImage(-1, -3, 5), 0);
    EXPECT_EQ(NewImage(-1, 32768, 1), 0);
    EXPECT_EQ(NewImage(-1, 1, 32768), 0);
    EXPECT_EQ(NewDecodedImage(-1, 0, 1, 24, 0), 0);
    // A failed creation leaves no object behind under a static number.
    EXPECT_EQ(NewImage(4, 0, 0), 0);
    EXPECT_EQ(ImageExists(4), 0);

    int64_t wide = NewImage(-1, 32767, 1);
    ASSERT_NE(wide, 0);
    EXPECT_EQ(ImagePixelWidth(wide), 32767);
    EXPECT_EQ(ScaleImage(wide, 32768, 1), 0);
    EXPECT_EQ(ScaleImage(wide, 0, 1), 0);
    EXPECT_EQ(CropImage(wide, -1, 0, 0, 0, 1), 0);
    EXPECT_EQ(CropImage(wide, -1, 0, 0, 40000, 1), 0);
    EXPECT_EQ(ImagePixelWidth(wide), 32767);
    ReleaseImage(wide);
}

TEST(Images, DuplicateCopiesBytesAndSourceDepth) {
    StartImageRuntime();
    int64_t source = NewImage(-1, 4, 3, 32);
    PaintCoordinates(source);
    int64_t copy = DuplicateImage(source, -1);
    ASSERT_NE(copy, 0);
    EXPECT_EQ(ImageBitDepth(copy, -2), 32);
    EXPECT_EQ(std::memcmp(LookupImage(copy)->pixels, LookupImage(source)->pixels, 4 * 3 * 4), 0);
    EXPECT_NE(LookupImage(copy)->pixels, LookupImage(source)->pixels);
    ReleaseImage(copy);
    ReleaseImage(source);
}

TEST(Images, CropClipsToTheSourceAndCopiesToTheTopLeft) {
    StartImageRuntime();
    int64_t source = NewImage(-1, 4, 3, 16);
    PaintCoordinates(source);

    // Inside: plain copy of the rectangle.
    int64_t inside = CropImage(source, -1, 1, 1, 2, 2);
    ASSERT_NE(inside, 0);
    EXPECT_EQ(ImageBitDepth(inside, -2), 16);
    EXPECT_EQ(PixelAt(inside, 0, 0)[0], 1);
    EXPECT_EQ(PixelAt(inside, 0, 0)[1], 1);
    EXPECT_EQ(PixelAt(inside, 1, 1)[0], 2);
    EXPECT_EQ(PixelAt(inside, 1, 1)[1], 2);

    // Starting above-left: the clipped 2 x 2 rows land at the destination's
    // top-left, the rest stays transparent black.
    int64_t corner = CropImage(source, -1, -1, -1, 3, 3);
    ASSERT_NE(corner, 0);
    EXPECT_EQ(PixelAt(corner, 0, 0)[0], 0);
    EXPECT_EQ(PixelAt(corner, 0, 0)[3], 200);
    EXPECT_EQ(PixelAt(corner, 1, 1)[0], 1);
    EXPECT_EQ(PixelAt(corner, 1, 1)[1], 1);
    EXPECT_EQ(PixelAt(corner, 2, 0)[3], 0);
    EXPECT_EQ(PixelAt(corner, 0, 2)[3], 0);

    // Reaching past the right and bottom edges.
    int64_t edge = CropImage(source, -1, 3, 2, 4, 4);
    ASSERT_NE(edge, 0);
    EXPECT_EQ(PixelAt(edge, 0, 0)[0], 3);
    EXPECT_EQ(PixelAt(edge, 0, 0)[1], 2);
    EXPECT_EQ(PixelAt(edge, 1, 0)[3], 0);
    EXPECT_EQ(PixelAt(edge, 0, 1)[3], 0);

    // Entirely outside: an image, all transparent.
    int64_t outside = CropImage(source, -1, 10, 10, 2, 2);
    ASSERT_NE(outside, 0);
    EXPECT_EQ(PixelAt(outside, 1, 1)[3], 0);

    // Destination == source replaces the source under its own number.
    EXPECT_EQ(CropImage(source, source, 2, 0, 2, 3), source);
    EXPECT_EQ(ImagePixelWidth(source), 2);
    EXPECT_EQ(PixelAt(source, 0, 2)[0], 2);
    EXPECT_EQ(PixelAt(source, 0, 2)[1], 2);
    ASSERT_NE(NewImage(6, 4, 3), 0);
    int64_t replaced = CropImage(6, 6, 0, 0, 1, 1);
    EXPECT_EQ(replaced, ImagePlatformHandle(6));
    EXPECT_EQ(ImagePixelWidth(6), 1);

    for (int64_t image : {inside, corner, edge, outside, source, int64_t(6)}) ReleaseImage(image);
}

TEST(Images, ScaleImageSizeRulesAndKeptAttributes) {
    StartImageRuntime();
    int64_t image = NewDecodedImage(-1, 6, 4, 8, 0x474E50);
    ASSERT_NE(image, 0);
    PaintCoordinates(image);
    std::vector<unsigned char> before(LookupImage(image)->pixels,
                                      LookupImage(image)->pixels + 6 * 4 * 4);
    void *oldHandle = LookupImage(image)->handle;
    EXPECT_EQ(ScaleImage(image, 6, 4), 0);
    EXPECT_EQ(ScaleImage(image, KeepImageSide, KeepImageSide), 0);
    EXPECT_EQ(std::memcmp(before.data(), LookupImage(image)->pixels, before.size()), 0);
    EXPECT_EQ(LookupImage(image)->handle, oldHandle);

    EXPECT_EQ(ScaleImage(image, KeepImageSide, 2), 1);
    EXPECT_EQ(ImagePixelWidth(image), 6);
    EXPECT_EQ(ImagePixelHeight(image), 2);
    EXPECT_EQ(ScaleImage(image, 3, KeepImageSide, ScaleRaw), 1);
    EXPECT_EQ(ImagePixelWidth(image), 3);
    EXPECT_EQ(ImagePixelHeight(image), 2);
    EXPECT_EQ(ImageBitDepth(image, -2), 8);
    EXPECT_EQ(LookupImage(image)->formatTag, 0x474E50);
    const QImage *view = reinterpret_cast<const QImage *>(ImagePlatformHandle(image));
    EXPECT_EQ(view->width(), 3);
    EXPECT_EQ(view->constBits(), LookupImage(image)->pixels);
    ReleaseImage(image);
}

TEST(Images, ReleaseAllFreesStaticAndAutomaticImages) {
    StartImageRuntime();
    int64_t automatic = NewImage(-1, 2, 2);
    ASSERT_NE(NewImage(9, 2, 2), 0);
    EXPECT_EQ(ReleaseImage(-1), 1);
    EXPECT_EQ(ImageExists(automatic), 0);
    EXPECT_EQ(ImageExists(9), 0);
}
