#include "runtime/image/resize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Pixels = std::vector<unsigned char>;

// One pass of the filter written the plain way: every target sample computes its
// own weights from the formula and sums its taps. `stride` and `step` walk the
// resized axis; `lines` and `lineStep` walk the other one.
Pixels ReferencePass(const Pixels &source, int width, int height, bool horizontal, int target) {
    int length = horizontal ? width : height;
    int outWidth = horizontal ? target : width, outHeight = horizontal ? height : target;
    Pixels out(size_t(outWidth) * outHeight * 4);
    double s = double(target) / length;
    double r = s < 1 ? 2 / s : 2, f = s < 1 ? s : 1;
    int maxTaps = 2 * int(std::ceil(r)) + 1;
    for (int oy = 0; oy < outHeight; ++oy)
        for (int ox = 0; ox < outWidth; ++ox) {
            int i = horizontal ? ox : oy;
            double c = (i + 0.5) / s - 0.5;
            int first = std::max(0, int(std::floor(c - r)));
            int last = std::min(length - 1, int(std::ceil(c + r)));
            if (last - first + 1 > maxTaps) ++first;
            std::vector<double> w;
            double sum = 0;
            for (int j = first; j <= last; ++j) {
                w.push_back(f * MitchellKernel(std::fabs(c - j) * f));
                sum += w.back();
            }
            if (sum > 0 && sum != 1)
                for (double &v : w) v /= sum;
            for (int ch = 0; ch < 4; ++ch) {
                double total = 0;
                for (int j = first; j <= last; ++j) {
                    int sx = horizontal ? j : ox, sy = horizontal ? oy : j;
                    total += w[size_t(j - first)] * source[(size_t(sy) * width + sx) * 4 + ch];
                }
                int v = int(total + 0.5);
                out[(size_t(oy) * outWidth + ox) * 4 + ch] =
                    static_cast<unsigned char>(std::clamp(v, 0, 255));
            }
        }
    return out;
}

Pixels ReferenceResize(const Pixels &source, int w, int h, int nw, int nh) {
    if (int64_t(nh) * w < int64_t(nw) * h)
        return ReferencePass(ReferencePass(source, w, h, false, nh), w, nh, true, nw);
    return ReferencePass(ReferencePass(source, w, h, true, nw), nw, h, false, nh);
}

Pixels Noise(int w, int h, unsigned seed) {
    std::mt19937 random(seed);
    Pixels p(size_t(w) * h * 4);
    for (auto &b : p) b = static_cast<unsigned char>(random() & 255);
    return p;
}

} // namespace

TEST(Resize, KernelValues) {
    EXPECT_DOUBLE_EQ(MitchellKernel(0), 8.0 / 9.0);
    // At 1 the outer piece is evaluated; its terms cancel to 1/18 up to rounding.
    EXPECT_NEAR(MitchellKernel(1), 1.0 / 18.0, 1e-15);
    EXPECT_NEAR(MitchellKernel(-1), 1.0 / 18.0, 1e-15);
    EXPECT_NEAR(MitchellKernel(0.999999999), 1.0 / 18.0, 1e-8);
    EXPECT_DOUBLE_EQ(MitchellKernel(2), 0.0);
    EXPECT_DOUBLE_EQ(MitchellKernel(0.5), 7.0 / 48.0 - 0.5 + 8.0 / 9.0);
}

TEST(Resize, UniformColourStaysExact) {
    const unsigned char colour[4] = {13, 200, 77, 128};
    for (auto [w, h, nw, nh] : {std::array{37, 23, 5, 7}, std::array{37, 23, 100, 50},
                                std::array{8, 8, 1, 1}, std::array{3, 200, 17, 9}}) {
        Pixels source(size_t(w) * h * 4);
        for (size_t n = 0; n < source.size(); ++n) source[n] = colour[n % 4];
        Pixels out(size_t(nw) * nh * 4);
        ASSERT_EQ(SmoothResize(source.data(), w, h, out.data(), nw, nh), 1);
        for (size_t n = 0; n < out.size(); ++n)
            ASSERT_EQ(out[n], colour[n % 4])
                << w << "x" << h << " -> " << nw << "x" << nh << " byte " << n;
    }
}

TEST(Resize, SmoothMatchesTheFormulaExactly) {
    // Shrinking, enlarging, one axis kept, and both pass orders.
    for (auto [w, h, nw, nh] :
         {std::array{13, 9, 5, 4}, std::array{13, 9, 20, 17}, std::array{13, 9, 13, 4},
          std::array{9, 13, 4, 13}, std::array{40, 3, 7, 6}, std::array{3, 40, 6, 7},
          std::array{1, 1, 3, 2},
          // Large enough that each pass runs as two halves on two threads.
          std::array{1200, 900, 900, 700}}) {
        Pixels source = Noise(w, h, unsigned(w * 100 + h));
        Pixels out(size_t(nw) * nh * 4);
        ASSERT_EQ(SmoothResize(source.data(), w, h, out.data(), nw, nh), 1);
        Pixels expected = ReferenceResize(source, w, h, nw, nh);
        for (size_t n = 0; n < out.size(); ++n)
            ASSERT_EQ(out[n], expected[n])
                << w << "x" << h << " -> " << nw << "x" << nh << " byte " << n;
    }
}

// Row by row as a decoder would feed it: each band is made from a source in which
// only the rows SmoothSourceRowsNeeded asked for are there (the rest is poison),
// and the bands together are the bytes of the whole resize.
TEST(Resize, RowsByBandsMatchTheWholeResize) {
    for (auto [w, h, nw, nh, band] :
         {std::array{13, 9, 5, 4, 1}, std::array{13, 9, 20, 17, 3}, std::array{9, 13, 4, 13, 2},
          std::array{40, 3, 7, 6, 32}, std::array{3, 40, 6, 7, 4}, std::array{1, 1, 3, 2, 1},
          std::array{2250, 1500, 2048, 1365, 32}, std::array{500, 1875, 410, 1536, 32}}) {
        Pixels source = Noise(w, h, unsigned(w * 7 + h));
        Pixels whole(size_t(nw) * nh * 4);
        ASSERT_EQ(SmoothResize(source.data(), w, h, whole.data(), nw, nh), 1);
        SmoothRowsPlan *plan = StartSmoothRows(w, h, nw, nh, band);
        ASSERT_NE(plan, nullptr);
        Pixels arrived(source.size(), 0xA5), rows(size_t(nw) * nh * 4);
        int needed = 0;
        for (int first = 0; first < nh; first += band) {
            int end = std::min(nh, first + band), now = SmoothSourceRowsNeeded(plan, end);
            ASSERT_GE(now, needed);
            ASSERT_LE(now, h);
            std::copy(source.begin() + ptrdiff_t(needed) * w * 4,
                      source.begin() + ptrdiff_t(now) * w * 4,
                      arrived.begin() + ptrdiff_t(needed) * w * 4);
            needed = now;
            ASSERT_EQ(MakeSmoothRows(plan, arrived.data(), first, end,
                                     rows.data() + size_t(first) * nw * 4),
                      1);
        }
        EndSmoothRows(plan);
        EXPECT_EQ(needed, h);
        EXPECT_TRUE(rows == whole) << w << "x" << h << " -> " << nw << "x" << nh;
    }
}

TEST(Resize, SmoothOvershootIsClamped) {
    // A hard black/white edge enlarged: the cubic rings, results stay in 0..255
    // and the far sides keep their values.
    const int w = 4, h = 1;
    Pixels source(w * 4, 0);
    for (int x = 2; x < 4; ++x)
        for (int ch = 0; ch < 4; ++ch) source[x * 4 + ch] = 255;
    Pixels out(16 * 4);
    ASSERT_EQ(SmoothResize(source.data(), w, h, out.data(), 16, 1), 1);
    EXPECT_EQ(out, ReferenceResize(source, w, h, 16, 1));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[15 * 4], 255);
    // The same edge standing up: the vertical pass rounds and clamps too.
    ASSERT_EQ(SmoothResize(source.data(), 1, w, out.data(), 1, 16), 1);
    EXPECT_EQ(out, ReferenceResize(source, 1, w, 1, 16));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[15 * 4], 255);
}

TEST(Resize, RawPicksNearestInFixedPoint) {
    // 4 x 4 -> 2 x 2: step 131072, samples at 1 and 3.
    Pixels source(4 * 4 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int ch = 0; ch < 4; ++ch) source[(y * 4 + x) * 4 + ch] = uint8_t(y * 4 + x + ch);
    Pixels out(2 * 2 * 4);
    ASSERT_EQ(RawResize(source.data(), 4, 4, out.data(), 2, 2), 1);
    EXPECT_EQ(out, (Pixels{5, 6, 7, 8, 7, 8, 9, 10, 13, 14, 15, 16, 15, 16, 17, 18}));

    // 2 x 1 -> 5 x 1: step trunc(65536 / 2.5) = 26214 picks columns 0, 0, 0, 1, 1.
    Pixels two = {1, 2, 3, 4, 5, 6, 7, 8};
    Pixels five(5 * 4);
    ASSERT_EQ(RawResize(two.data(), 2, 1, five.data(), 5, 1), 1);
    EXPECT_EQ(five, (Pixels{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8}));
}
