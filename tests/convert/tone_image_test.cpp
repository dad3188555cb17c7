#include "convert/tone_image.h"

#include "runtime/base/base_runtime.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tone/colour_table.h"
#include "tone/kernels.h"
#include "tone/luma_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

TEST(ToneImage, TonesEveryPixelAndKeepsAlpha) {
    StartBaseRuntime();
    StartImageRuntime();
    BuildLumaTables();
    BuildColourTable(nullptr); // black to white
    // A small picture, and one large enough to be toned in two halves (an odd
    // number of rows, so the halves differ).
    int64_t image = 0;
    for (auto [w, h] : {std::pair<int64_t, int64_t>{7, 5}, {1201, 1001}}) {
        image = NewImage(-1, w, h, 32);
        ASSERT_NE(image, 0);
        ASSERT_NE(OpenDrawTarget(ImageTarget(image)), 0);
        std::vector<unsigned char> expected(size_t(w * h * 4));
        for (int64_t i = 0; i < w * h; i++) {
            unsigned char *p = TargetPixels() + i * 4;
            p[0] = (unsigned char)(i * 37 + i / 1000), p[1] = (unsigned char)(i * 11 + 5);
            p[2] = (unsigned char)(200 - i), p[3] = (unsigned char)(i * 7);
        }
        std::memcpy(expected.data(), TargetPixels(), expected.size());
        CloseDrawTarget();
        LuminanceAndTone(expected.data(), w * 4, h, LayoutRgba, 12);

        EXPECT_EQ(ToneImage(image, 12), 1);
        ASSERT_NE(OpenDrawTarget(ImageTarget(image)), 0);
        EXPECT_EQ(std::memcmp(TargetPixels(), expected.data(), expected.size()), 0);
        for (int64_t i = 0; i < w * h; i++) {
            const unsigned char *p = TargetPixels() + i * 4;
            EXPECT_EQ(p[3], (unsigned char)(i * 7)); // alpha left alone
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "black-to-white tone gives greys";
        }
        CloseDrawTarget();
        ReleaseImage(image);
    }
    // An image that does not exist is reported, not passed off as toned.
    EXPECT_EQ(ToneImage(image, 0), 0);
    EXPECT_EQ(ToneImage(987654, 0), 0);
}

} // namespace
