#include "runtime/image/canvas_bitmap.h"

#include <gtest/gtest.h>

TEST(CanvasBitmap, MadeWhiteAtLeastOnePixel) {
    CanvasBitmap *tiny = NewCanvasBitmap(0, -4);
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->width, 1);
    EXPECT_EQ(tiny->height, 1);
    for (int n = 0; n < 4; ++n) EXPECT_EQ(tiny->pixels[n], 0xFF);
    FreeCanvasBitmap(tiny);
}

TEST(CanvasBitmap, ResizeKeepsTheTopLeftOverlap) {
    CanvasBitmap *bitmap = NewCanvasBitmap(3, 2);
    for (int n = 0; n < 3 * 2 * 4; ++n) bitmap->pixels[n] = static_cast<unsigned char>(n);
    ASSERT_EQ(ResizeCanvasBitmap(bitmap, 2, 3), 1);
    EXPECT_EQ(bitmap->width, 2);
    EXPECT_EQ(bitmap->height, 3);
    // Row 0 keeps old pixels 0 and 1, row 1 keeps old row 1's first two pixels,
    // row 2 is new and white.
    for (int n = 0; n < 8; ++n) EXPECT_EQ(bitmap->pixels[n], n);
    for (int n = 0; n < 8; ++n) EXPECT_EQ(bitmap->pixels[8 + n], 12 + n);
    for (int n = 16; n < 24; ++n) EXPECT_EQ(bitmap->pixels[n], 0xFF);
    EXPECT_EQ(ResizeCanvasBitmap(nullptr, 2, 2), 0);
    FreeCanvasBitmap(bitmap);
}
