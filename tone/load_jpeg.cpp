#include "tone/load_jpeg.h"

#include "runtime/image/images.h"
#include "tone/jpeg_check.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

uint32_t Read16(const unsigned char *p, bool little) {
    return little ? uint32_t(p[0]) | uint32_t(p[1]) << 8 : uint32_t(p[0]) << 8 | uint32_t(p[1]);
}

uint32_t Read32(const unsigned char *p, bool little) {
    return little ? Read16(p, true) | Read16(p + 2, true) << 16
                  : Read16(p, false) << 16 | Read16(p + 2, false);
}

// The orientation entry of the EXIF block whose TIFF header starts at `tiff`.
int OrientationInTiff(const unsigned char *tiff, const unsigned char *end) {
    if (end - tiff < 8) return 0;
    bool little = tiff[0] == 'I' && tiff[1] == 'I';
    uint64_t ifd = Read32(tiff + 4, little);
    if (ifd > uint64_t(end - tiff) || uint64_t(end - tiff) - ifd < 2) return 0;
    const unsigned char *entry = tiff + ifd + 2;
    uint32_t count = Read16(tiff + ifd, little);
    for (uint32_t i = 0; i < count; i++, entry += 12) {
        if (end - entry < 12) return 0;
        if (Read16(entry, little) == 0x0112) return int(Read16(entry + 8, little));
    }
    return 0;
}

// The decoding scale n/8: the smallest eighth that still reaches the box in the
// limiting direction, so the decoder does the bulk of the reduction.
int EighthScale(int64_t w, int64_t h, int64_t maxWidth, int64_t maxHeight) {
    int sw = 7, sh = 7;
    while (sw > 0 && w * sw >= 8 * maxWidth) sw--;
    while (sh > 0 && h * sh >= 8 * maxHeight) sh--;
    return std::min(sw, sh) + 1;
}

} // namespace

int ReadJpegOrientation(const unsigned char *data, size_t length) {
    if (!data || length < 38) return 0;
    const unsigned char *end = data + length;
    const unsigned char *stop = end - 36;
    const unsigned char *p = data + 2;
    while (p < stop) {
        unsigned char first = p[0], second = p[1];
        p += 2;
        if (first != 0xFF) return 0;
        if (second == 0xE1) {
            if (end - p < 8 || std::memcmp(p + 2, "Exif", 4) != 0) return 0;
            return OrientationInTiff(p + 8, end);
        }
        if (end - p < 2) return 0;
        // A length below 2 would not move the scan on: damaged data, give up.
        uint32_t segment = Read16(p, false);
        if (segment < 2) return 0;
        if (size_t(end - p) <= segment) return 0;
        p += segment;
    }
    return 0;
}

double FitRatio(int64_t width, int64_t height, int64_t maxWidth, int64_t maxHeight) {
    double mw = maxWidth < 1 ? 2147483647.0 : double(maxWidth);
    double mh = maxHeight < 1 ? 2147483647.0 : double(maxHeight);
    return std::min(mw / double(width), mh / double(height));
}

int64_t BoxSide(int64_t maximum) {
    return maximum < 1 || maximum > MaxImageSide ? MaxImageSide : maximum;
}

int64_t ScaledSideHalfEven(int64_t side, double r) {
    double scaled = std::nearbyint(double(side) * r); // default rounding: halves to even
    return std::max<int64_t>(1, int64_t(scaled));
}

int64_t ScaledSideAwayFromZero(int64_t side, double r) {
    // A side that rounds to nothing keeps one pixel.
    return std::max<int64_t>(1, std::llround(double(side) * r));
}

int64_t JpegLoadingBytes(const unsigned char *data, size_t length, const JpegScalePlan &plan) {
    int64_t decoded = plan.decodedWidth * plan.decodedHeight * 4;
    int64_t resized = 0;
    if (plan.width != plan.decodedWidth || plan.height != plan.decodedHeight) {
        // The result and the larger of the two one-direction passes between.
        int64_t between =
            std::max(plan.width * plan.decodedHeight, plan.decodedWidth * plan.height);
        resized = (plan.width * plan.height + between) * 4;
    }
    return int64_t(length) + JpegCoefficientBytes(data, length) + decoded + resized;
}

JpegScalePlan PlanJpegScale(int64_t w, int64_t h, int64_t maxWidth, int64_t maxHeight) {
    maxWidth = BoxSide(maxWidth);
    maxHeight = BoxSide(maxHeight);
    int n = EighthScale(w, h, maxWidth, maxHeight);
    // Near the largest box an eighth-scale can overshoot what an image holds; the
    // next smaller one then decodes and the resize makes up the small rest.
    while (n > 1 && ((w * n + 7) / 8 > MaxImageSide || (h * n + 7) / 8 > MaxImageSide)) n--;
    JpegScalePlan plan{n, (w * n + 7) / 8, (h * n + 7) / 8, 0, 0};
    // TurboJPEG, told only the size, decodes with the largest eighth that gives
    // it; tiny pictures reach the same size with several (5 x 5 at 7/8 and 8/8).
    while (plan.scale < 8 && (w * (plan.scale + 1) + 7) / 8 == plan.decodedWidth &&
           (h * (plan.scale + 1) + 7) / 8 == plan.decodedHeight)
        plan.scale++;
    plan.width = plan.decodedWidth, plan.height = plan.decodedHeight;
    double r = std::min(double(maxWidth) / double(w), double(maxHeight) / double(h));
    if (r < 1) plan.width = ScaledSideHalfEven(w, r), plan.height = ScaledSideHalfEven(h, r);
    return plan;
}
