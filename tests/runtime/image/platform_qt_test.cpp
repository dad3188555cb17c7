#include "runtime/image/draw_target.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "runtime/image/path_target.h"

#include <QImage>
#include <gtest/gtest.h>

#include "tests/support/image_pixels.h"
#include <array>

#include <functional>
#include <thread>

namespace {

// Opaque, every pixel different, no symmetry.
Rgba Pattern(int x, int y) {
    return {x * 60 + 10, y * 100 + 20, 77 + x + y, 255};
}

int64_t PatternImage(int w, int h) {
    int64_t image = NewImage(-1, w, h);
    ImageRecord *record = LookupImage(image);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int n = 0; n < 4; ++n)
                record->pixels[(size_t(y) * w + x) * 4 + n] =
                    static_cast<unsigned char>(Pattern(x, y)[n]);
    return image;
}

// Draws a W x H pattern into a new dw x dh image after `transform` and checks
// that stored pixel (x, y) lands at where(x, y), exactly.
void ExpectMapping(int w, int h, int dw, int dh, const std::function<void()> &transform,
                   const std::function<std::array<int, 2>(int, int)> &where, const char *what) {
    int64_t source = PatternImage(w, h);
    int64_t target = NewImage(-1, dw, dh, 32, -1);
    ASSERT_NE(OpenPathTarget(ImagePathTarget(target)), 0) << what;
    transform();
    PathDrawImage(source, 255);
    ClosePathTarget();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto [tx, ty] = where(x, y);
            EXPECT_EQ(PixelOf(target, tx, ty), Pattern(x, y))
                << what << ": stored " << x << "," << y << " expected at " << tx << "," << ty;
        }
    ReleaseImage(source);
    ReleaseImage(target);
}

} // namespace

TEST(PlatformImage, HandleIsAViewOfTheImageMemory) {
    StartImageRuntime();
    int64_t image = NewImage(-1, 5, 3, 24, 0x030201);
    QImage *view = reinterpret_cast<QImage *>(ImagePlatformHandle(image));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->format(), QImage::Format_RGBA8888);
    EXPECT_EQ(view->bytesPerLine(), 20);
    EXPECT_EQ(view->constBits(), LookupImage(image)->pixels);
    EXPECT_EQ(view->pixelColor(4, 2), QColor(1, 2, 3, 255));

    // After drawing the view shows the new pixels under a new cache key, still
    // over the same memory.
    qint64 key = view->cacheKey();
    ASSERT_NE(OpenDrawTarget(ImageTarget(image)), 0);
    FillRect(0, 0, 5, 3, PackRgb(9, 8, 7));
    CloseDrawTarget();
    EXPECT_NE(view->cacheKey(), key);
    EXPECT_EQ(view->constBits(), LookupImage(image)->pixels);
    EXPECT_EQ(view->pixelColor(4, 2), QColor(9, 8, 7, 255));
    ReleaseImage(image);
}

TEST(PathTarget, OrientationTransformsCopyPixelsExactly) {
    StartImageRuntime();
    const int W = 3, H = 2;
    ExpectMapping(
        W, H, W, H, [] {},
        [](int x, int y) {
            return std::array{x, y};
        },
        "identity");
    ExpectMapping(
        W, H, W, H, [] { PathMirrorX(1.5); },
        [](int x, int y) {
            return std::array{W - 1 - x, y};
        },
        "mirror x");
    ExpectMapping(
        W, H, W, H, [] { PathMirrorY(1.0); },
        [](int x, int y) {
            return std::array{x, H - 1 - y};
        },
        "mirror y");
    ExpectMapping(
        W, H, W, H, [] { PathRotate(1.5, 1.0, 180); },
        [](int x, int y) {
            return std::array{W - 1 - x, H - 1 - y};
        },
        "rotate 180");
    ExpectMapping(
        W, H, H, W,
        [] {
            PathRotate(0, 0, 90);
            PathTranslate(0, -H);
        },
        [](int x, int y) {
            return std::array{H - 1 - y, x};
        },
        "rotate 90");
    ExpectMapping(
        W, H, H, W,
        [] {
            PathRotate(0, 0, 270);
            PathTranslate(-W, 0);
        },
        [](int x, int y) {
            return std::array{y, W - 1 - x};
        },
        "rotate 270");
    ExpectMapping(
        W, H, H, W,
        [] {
            PathMirrorX(H / 2.0);
            PathRotate(0, 0, 90);
            PathTranslate(0, -H);
        },
        [](int x, int y) {
            return std::array{y, x};
        },
        "transpose");
}

TEST(PathTarget, SizeClipCursorAndOpacity) {
    StartImageRuntime();
    int64_t source = PatternImage(2, 2);
    int64_t target = NewImage(-1, 4, 3, 32, -1);
    EXPECT_EQ(OpenPathTarget(0), 0);
    EXPECT_EQ(ImagePathTarget(source + 4), 0);
    ASSERT_NE(OpenPathTarget(ImagePathTarget(target)), 0);
    EXPECT_EQ(PathTargetWidth(), 4.0);
    EXPECT_EQ(PathTargetHeight(), 3.0);

    // Only column 2 is inside the clip; the image is drawn at the cursor (1, 1).
    PathAddRect(2, 0, 1, 3);
    PathClip();
    PathMoveTo(1, 1);
    PathDrawImage(source, 255);
    ClosePathTarget();
    EXPECT_EQ(PixelOf(target, 2, 1), Pattern(1, 0));
    EXPECT_EQ(PixelOf(target, 2, 2), Pattern(1, 1));
    EXPECT_EQ(PixelOf(target, 1, 1), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(PixelOf(target, 3, 1), (Rgba{0, 0, 0, 0}));

    // Opacity 128 onto transparent memory: the result is premultiplied colour.
    int64_t faint = NewImage(-1, 2, 2, 32, -1);
    ASSERT_NE(OpenPathTarget(ImagePathTarget(faint)), 0);
    PathDrawImage(source, 128);
    ClosePathTarget();
    Rgba got = PixelOf(faint, 1, 1);
    Rgba full = Pattern(1, 1);
    EXPECT_NEAR(got[3], 128, 1);
    for (int n = 0; n < 3; ++n) EXPECT_NEAR(got[n], full[n] * 128 / 255, 1) << n;
    for (int64_t image : {source, target, faint}) ReleaseImage(image);
}

TEST(PathTarget, WorkerThreadDrawsWhileTheMainThreadDraws) {
    StartImageRuntime();
    auto rotate = [](int64_t source, int64_t target, int *wrong) {
        for (int round = 0; round < 50; ++round) {
            if (!OpenPathTarget(ImagePathTarget(target))) ++*wrong;
            PathRotate(0, 0, 90);
            PathTranslate(0, -2);
            PathDrawImage(source, 255);
            ClosePathTarget();
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    if (PixelOf(target, 1 - y, x) != Pattern(x, y)) ++*wrong;
        }
    };
    int64_t sourceA = PatternImage(3, 2), sourceB = PatternImage(3, 2);
    int64_t targetA = NewImage(-1, 2, 3), targetB = NewImage(-1, 2, 3);
    int wrongA = 0, wrongB = 0;
    std::thread worker(rotate, sourceA, targetA, &wrongA);
    rotate(sourceB, targetB, &wrongB);
    worker.join();
    EXPECT_EQ(wrongA, 0);
    EXPECT_EQ(wrongB, 0);
    for (int64_t image : {sourceA, sourceB, targetA, targetB}) ReleaseImage(image);
}
