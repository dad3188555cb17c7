#include "runtime/image/draw_target.h"

#include "runtime/image/canvas_bitmap.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"

#include <gtest/gtest.h>

#include "tests/support/image_pixels.h"
#include <array>

#include <atomic>
#include <thread>

namespace {

// A fresh w x h image, every pixel (10, 20, 30, 40), opened as the current output.
int64_t OpenFresh(int w, int h) {
    StartImageRuntime();
    int64_t image = NewImage(-1, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPixel(image, x, y, {10, 20, 30, 40});
    EXPECT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    return image;
}

void Finish(int64_t image) {
    CloseDrawTarget();
    ReleaseImage(image);
}

const Rgba Untouched = {10, 20, 30, 40};

} // namespace

TEST(DrawTarget, ImageOutputReportsItsOwnMemory) {
    int64_t image = OpenFresh(7, 3);
    EXPECT_EQ(TargetWidth(), 7);
    EXPECT_EQ(TargetHeight(), 3);
    EXPECT_EQ(TargetPitch(), 28);
    EXPECT_EQ(TargetLayout(), 0x20);
    EXPECT_EQ(TargetPixels(), LookupImage(image)->pixels);
    TargetPixels()[0] = 99; // direct writes land in the image
    EXPECT_EQ(PixelOf(image, 0, 0)[0], 99);
    CloseDrawTarget();
    EXPECT_EQ(TargetWidth(), 0);
    EXPECT_EQ(TargetPixels(), nullptr);
    ReleaseImage(image);

    // No such image: nothing is prepared and opening fails.
    EXPECT_EQ(ImageTarget(image), 0);
    EXPECT_EQ(OpenDrawTarget(0), 0);
    EXPECT_EQ(TargetLayout(), 0);
}

TEST(DrawTarget, BlendFormulaOnExactNumbers) {
    const unsigned char source[4] = {200, 100, 50, 128};
    unsigned char dest[4] = {10, 20, 30, 200};
    BlendPixel(dest, source, 255, false);
    EXPECT_EQ((Rgba{dest[0], dest[1], dest[2], dest[3]}), (Rgba{116, 64, 41, 227}));

    // Global alpha 100: a = trunc(100 * 128 / 255) = 50.
    unsigned char scaled[4] = {10, 20, 30, 200};
    BlendPixel(scaled, source, 100, false);
    EXPECT_EQ((Rgba{scaled[0], scaled[1], scaled[2], scaled[3]}), (Rgba{55, 38, 34, 210}));

    // Alpha clip: colour blended the same way, alpha left alone.
    unsigned char kept[4] = {10, 20, 30, 200};
    BlendPixel(kept, source, 255, true);
    EXPECT_EQ((Rgba{kept[0], kept[1], kept[2], kept[3]}), (Rgba{116, 64, 41, 200}));

    // Onto alpha 0 the source colour is copied with alpha a.
    unsigned char empty[4] = {1, 2, 3, 0};
    BlendPixel(empty, source, 255, false);
    EXPECT_EQ((Rgba{empty[0], empty[1], empty[2], empty[3]}), (Rgba{200, 100, 50, 128}));

    // A source with alpha 0 changes nothing, alpha included.
    const unsigned char invisible[4] = {255, 255, 255, 0};
    unsigned char same[4] = {10, 20, 30, 0};
    BlendPixel(same, invisible, 255, false);
    EXPECT_EQ((Rgba{same[0], same[1], same[2], same[3]}), (Rgba{10, 20, 30, 0}));
    // Global alpha small enough to make a = 0.
    unsigned char faint[4] = {10, 20, 30, 40};
    BlendPixel(faint, source, 1, false);
    EXPECT_EQ((Rgba{faint[0], faint[1], faint[2], faint[3]}), Untouched);
}

TEST(DrawTarget, FillRectModesAndExtents) {
    int64_t image = OpenFresh(6, 5);
    // Default mode: colour bytes written, alpha kept.
    FillRect(1, 1, 2, 2, PackRgba(1, 2, 3, 99));
    EXPECT_EQ(PixelOf(image, 1, 1), (Rgba{1, 2, 3, 40}));
    EXPECT_EQ(PixelOf(image, 2, 2), (Rgba{1, 2, 3, 40}));
    EXPECT_EQ(PixelOf(image, 3, 1), Untouched);
    EXPECT_EQ(PixelOf(image, 0, 0), Untouched);

    // Negative extents draw to the left of x and above y: columns 3, 4, row 4.
    FillRect(5, 5, -2, -1, PackRgb(7, 7, 7));
    EXPECT_EQ(PixelOf(image, 3, 4), (Rgba{7, 7, 7, 40}));
    EXPECT_EQ(PixelOf(image, 4, 4), (Rgba{7, 7, 7, 40}));
    EXPECT_EQ(PixelOf(image, 5, 4), Untouched);
    EXPECT_EQ(PixelOf(image, 2, 4), Untouched);
    EXPECT_EQ(PixelOf(image, 4, 3), Untouched);

    // Boxes outside the output, or only touching its edge, draw nothing; a box
    // hanging over the edge is clipped.
    FillRect(6, 0, 3, 3, PackRgb(9, 9, 9));
    FillRect(-5, -5, 5, 5, PackRgb(9, 9, 9));
    FillRect(0, -5, 3, -2, PackRgb(9, 9, 9));
    FillRect(100, 100, -200, 10, PackRgb(9, 9, 9));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_NE(PixelOf(image, x, y)[0], 9) << x << "," << y;
    FillRect(-2, 4, 4, 5, PackRgb(8, 8, 8));
    EXPECT_EQ(PixelOf(image, 0, 4), (Rgba{8, 8, 8, 40}));
    EXPECT_EQ(PixelOf(image, 1, 4), (Rgba{8, 8, 8, 40}));
    EXPECT_EQ(PixelOf(image, 2, 4), Untouched);
    Finish(image);

    image = OpenFresh(5, 5);
    SetDrawMode(DrawOutline);
    FillRect(0, 0, 4, 3, PackRgb(1, 1, 1));
    for (auto [x, y] : {std::array{0, 0}, {3, 0}, {0, 1}, {3, 1}, {0, 2}, {1, 2}, {3, 2}})
        EXPECT_EQ(PixelOf(image, x, y)[0], 1) << x << "," << y;
    EXPECT_EQ(PixelOf(image, 1, 1), Untouched);
    EXPECT_EQ(PixelOf(image, 2, 1), Untouched);
    EXPECT_EQ(PixelOf(image, 4, 0), Untouched);

    SetDrawMode(DrawCopyAll);
    FillRect(4, 4, 1, 1, PackRgba(5, 6, 7, 8));
    EXPECT_EQ(PixelOf(image, 4, 4), (Rgba{5, 6, 7, 8}));
    SetDrawMode(DrawAlphaOnly);
    FillRect(4, 3, 1, 1, PackRgba(5, 6, 7, 8));
    EXPECT_EQ(PixelOf(image, 4, 3), (Rgba{10, 20, 30, 8}));
    SetDrawMode(DrawXor);
    FillRect(3, 4, 1, 1, PackRgb(0xFF, 0x0F, 0));
    EXPECT_EQ(PixelOf(image, 3, 4), (Rgba{10 ^ 0xFF, 20 ^ 0x0F, 30, 40}));
    SetDrawMode(DrawBlend);
    SetPixel(image, 2, 4, {10, 20, 30, 200});
    FillRect(2, 4, 1, 1, PackRgba(200, 100, 50, 128));
    EXPECT_EQ(PixelOf(image, 2, 4), (Rgba{116, 64, 41, 227}));
    SetDrawMode(DrawAlphaClip);
    SetPixel(image, 1, 4, {10, 20, 30, 200});
    FillRect(1, 4, 1, 1, PackRgba(200, 100, 50, 128));
    EXPECT_EQ(PixelOf(image, 1, 4), (Rgba{116, 64, 41, 200}));
    Finish(image);
}

TEST(DrawTarget, DrawSegmentEndpointsAndClipping) {
    int64_t image = OpenFresh(6, 6);
    DrawSegment(0, 0, 4, 1, PackRgb(1, 0, 0)); // (0,0) .. (3,0)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelOf(image, x, 0)[0], 1);
    EXPECT_EQ(PixelOf(image, 4, 0), Untouched);

    DrawSegment(0, 1, 4, 4, PackRgb(2, 0, 0)); // diagonal (0,1) .. (3,4)
    for (int n = 0; n < 4; ++n) EXPECT_EQ(PixelOf(image, n, 1 + n)[0], 2);
    EXPECT_EQ(PixelOf(image, 1, 1), Untouched);

    DrawSegment(5, 5, -3, 1, PackRgb(3, 0, 0)); // (5,5) .. (3,5)
    for (int x = 3; x < 6; ++x) EXPECT_EQ(PixelOf(image, x, 5)[0], 3);
    EXPECT_EQ(PixelOf(image, 2, 5), Untouched);

    DrawSegment(5, 0, 0, 4, PackRgb(4, 0, 0)); // zero extent: nothing
    DrawSegment(5, 0, 1, 0, PackRgb(4, 0, 0));
    EXPECT_EQ(PixelOf(image, 5, 0), Untouched);

    DrawSegment(-3, 3, 10, 1, PackRgb(5, 0, 0)); // clipped at both ends
    for (int x = 0; x < 6; ++x) EXPECT_EQ(PixelOf(image, x, 3)[0], 5);
    Finish(image);
}

TEST(DrawTarget, ReadPixelAddsAlphaOnlyInAlphaModes) {
    int64_t image = OpenFresh(2, 2);
    EXPECT_EQ(ReadPixel(1, 1), PackRgb(10, 20, 30));
    EXPECT_EQ(RedOf(ReadPixel(1, 1)), 10);
    EXPECT_EQ(GreenOf(ReadPixel(1, 1)), 20);
    EXPECT_EQ(BlueOf(ReadPixel(1, 1)), 30);
    EXPECT_EQ(ReadPixel(2, 0), 0);
    EXPECT_EQ(ReadPixel(-1, 0), 0);
    SetDrawMode(DrawBlend);
    EXPECT_EQ(ReadPixel(1, 1), PackRgba(10, 20, 30, 40));
    Finish(image);
}

TEST(DrawTarget, BlitImageModesAndClipping) {
    StartImageRuntime();
    int64_t sprite = NewImage(-1, 2, 2);
    SetPixel(sprite, 0, 0, {200, 100, 50, 128});
    SetPixel(sprite, 1, 0, {1, 2, 3, 0});
    SetPixel(sprite, 0, 1, {4, 5, 6, 255});
    SetPixel(sprite, 1, 1, {7, 8, 9, 255});

    int64_t image = OpenFresh(3, 3);
    BlitImage(sprite, 2, 2); // only the sprite's top-left pixel lands
    EXPECT_EQ(PixelOf(image, 2, 2), (Rgba{200, 100, 50, 40}));
    BlitImage(sprite, -1, -1); // only its bottom-right pixel lands
    EXPECT_EQ(PixelOf(image, 0, 0), (Rgba{7, 8, 9, 40}));
    EXPECT_EQ(PixelOf(image, 1, 0), Untouched);
    BlitImage(sprite, 5, 0); // outside
    Finish(image);

    image = OpenFresh(2, 2);
    SetPixel(image, 0, 0, {10, 20, 30, 200});
    BlitImageBlended(sprite, 0, 0); // default mode blends by the source alpha
    EXPECT_EQ(PixelOf(image, 0, 0), (Rgba{116, 64, 41, 227}));
    EXPECT_EQ(PixelOf(image, 1, 0), Untouched); // source alpha 0
    EXPECT_EQ(PixelOf(image, 0, 1), (Rgba{4, 5, 6, 255}));
    Finish(image);

    image = OpenFresh(2, 2);
    SetDrawMode(DrawCopyAll);
    BlitImageBlended(sprite, 0, 0);
    EXPECT_EQ(PixelOf(image, 1, 0), (Rgba{1, 2, 3, 0}));
    Finish(image);
    ReleaseImage(sprite);
}

namespace {
CanvasBitmap *TestCanvas = nullptr;
int Redisplayed = -1;
CanvasBitmap *TestBitmapOf(int64_t gadget) {
    return gadget == 12 ? TestCanvas : nullptr;
}
void TestRedisplay(int64_t gadget) {
    Redisplayed = int(gadget);
}
} // namespace

TEST(DrawTarget, CanvasOutputUsesTheResolverAndRedisplays) {
    StartImageRuntime();
    TestCanvas = NewCanvasBitmap(4, 3);
    SetCanvasResolver(TestBitmapOf, TestRedisplay);
    EXPECT_EQ(CanvasTarget(11), 0);
    EXPECT_EQ(OpenDrawTarget(0), 0);
    ASSERT_NE(OpenDrawTarget(CanvasTarget(12)), 0);
    EXPECT_EQ(TargetLayout(), 0x20);
    EXPECT_EQ(TargetPitch(), 16);
    EXPECT_EQ(TargetPixels(), TestCanvas->pixels);
    EXPECT_EQ(ReadPixel(3, 2), PackRgb(255, 255, 255));
    FillRect(0, 0, 1, 1, PackRgb(1, 2, 3));
    CloseDrawTarget();
    EXPECT_EQ(Redisplayed, 12);
    EXPECT_EQ(TestCanvas->pixels[0], 1);
    SetCanvasResolver(nullptr, nullptr);
    FreeCanvasBitmap(TestCanvas);
}

TEST(DrawTarget, TwoThreadsDrawIntoTheirOwnImagesAtOnce) {
    StartImageRuntime();
    std::atomic<int> failures{0};
    auto work = [&failures](int width, unsigned char shade) {
        int64_t image = NewImage(-1, width, 9);
        for (int round = 0; round < 2000; ++round) {
            if (!OpenDrawTarget(ImageTarget(image))) ++failures;
            if (TargetWidth() != width || TargetPixels() != LookupImage(image)->pixels) ++failures;
            FillRect(0, 0, width, 9, PackRgb(shade, shade, round & 255));
            if (ReadPixel(width - 1, 8) != PackRgb(shade, shade, round & 255)) ++failures;
            CloseDrawTarget();
        }
        ReleaseImage(image);
    };
    std::thread a(work, 11, 50), b(work, 23, 150);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}
