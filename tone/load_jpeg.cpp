#include "tone/load_jpeg.h"

#include "runtime/base/bin_file.h"
#include "runtime/base/failure_reason.h"
#include "runtime/base/memory_budget.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "tone/jpeg_check.h"
#include "tone/jpeg_handles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

// Files this short cannot hold a JPEG worth decoding; the platform reader may
// still make something of them.
constexpr int64_t ShortestJpegFile = 97;

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

// Whether the decoder wrote the last row it delivers (the bottom buffer row for
// top-down output, the first for bottom-up): its first and last alpha bytes are
// 0xFF. Three-byte layouts carry no alpha to tell by and are taken as written.
bool LastRowDelivered(const unsigned char *pixels, int64_t pitch, int64_t W, int64_t H,
                      int64_t layout) {
    if (!(layout & (LayoutRgba | LayoutBgra))) return true;
    const unsigned char *row = pixels + ((layout & LayoutBottomUp) ? 0 : (H - 1) * pitch);
    return row[3] == 0xFF && row[(W - 1) * 4 + 3] == 0xFF;
}

// Decodes the header-checked JPEG in `data` at W x H straight into a new image.
// Replaces the decompressor when decoding fails, since a failure may leave it
// unusable for the next file.
int64_t DecodeInto(const unsigned char *data, size_t length, int64_t W, int64_t H) {
    // The decoder writes every byte, alpha included, so the memory needs no fill.
    int64_t image = NewDecodedImage(-1, W, H, 24, 0);
    if (!image) return 0;
    if (!OpenDrawTarget(ImageTarget(image))) {
        ReleaseImage(image);
        return 0;
    }
    int64_t layout = TargetLayout();
    int flags = TJFLAG_ACCURATEDCT | ((layout & LayoutBottomUp) ? TJFLAG_BOTTOMUP : 0);
    unsigned char *pixels = TargetPixels();
    int64_t pitch = TargetPitch();
    int result = tjDecompress2(JpegDecompressor(), data, (unsigned long)length, pixels, int(W),
                               int(pitch), int(H), JpegPixelFormat(layout), flags);
    // A warning (stray bytes before a marker, a truncated tail filled in by the
    // decoder) still leaves a complete picture behind. TurboJPEG also reports
    // the warning code when a fatal error followed a warning, so a warning
    // counts only if the decoder reached the last row: the memory starts zeroed
    // and the decoder writes alpha 0xFF into every pixel it delivers.
    bool decoded = result == 0 || (tjGetErrorCode(JpegDecompressor()) == TJERR_WARNING &&
                                   LastRowDelivered(pixels, pitch, W, H, layout));
    CloseDrawTarget();
    // Rows the data never held come out grey with no more than a warning, and
    // a fatal error may follow lost rows: either way the picture is not whole.
    if (result != 0) {
        std::string cut = JpegCutShortReason(data, length);
        if (!cut.empty()) {
            SetFailureReason(cut);
            decoded = false;
        }
    }
    if (!decoded) {
        ReplaceJpegDecompressor();
        ReleaseImage(image);
        return 0;
    }
    return image;
}

// Closes the source file on every way out of the loader.
struct SourceFile {
    int64_t number;
    ~SourceFile() { CloseBinFile(number); }
};

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

int64_t LoadJpegScaled(const String &path, int64_t maxWidth, int64_t maxHeight, int *orientation) {
    int64_t number = OpenBinFileForReading(-1, path);
    if (!number) return 0;
    SourceFile file{number};
    int64_t length = BinFileLength(number);
    if (length < ShortestJpegFile) return 0;
    unsigned char head[4];
    if (ReadBytes(number, head, 4) != 4) return 0;
    if (head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF) return 0;

    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[size_t(length)]);
    if (!data) return 0;
    std::memcpy(data.get(), head, 4);
    if (ReadBytes(number, data.get() + 4, length - 4) != length - 4) return 0;

    // The box applies to the upright picture; the decoder sees it as stored.
    int found = ReadJpegOrientation(data.get(), size_t(length)) & 0xFF;
    if (found >= 5 && found <= 8) std::swap(maxWidth, maxHeight);

    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    // A warning while reading the header (stray bytes between segments) still
    // gives the full size; only a real failure hands the file on.
    if (!StartJpegHandles()) return 0;
    if (tjDecompressHeader3(JpegDecompressor(), data.get(), (unsigned long)length, &w, &h,
                            &subsampling, &colourspace) != 0 &&
        !(tjGetErrorCode(JpegDecompressor()) == TJERR_WARNING && w > 0 && h > 0)) {
        // A rejected header (a 12-bit file, say) can leave the decompressor
        // refusing every later file, so the next file gets a fresh one.
        ReplaceJpegDecompressor();
        return 0;
    }
    if (w <= 0 || h <= 0) return 0;

    JpegScalePlan plan = PlanJpegScale(w, h, maxWidth, maxHeight);
    std::string overLimit;
    if (!FitsMemoryShare(JpegLoadingBytes(data.get(), size_t(length), plan), &overLimit)) {
        SetFailureReason(overLimit);
        return 0;
    }
    std::string tooShort = JpegTooShortReason(data.get(), size_t(length));
    if (!tooShort.empty()) {
        SetFailureReason(tooShort);
        return 0;
    }
    int64_t image = DecodeInto(data.get(), size_t(length), plan.decodedWidth, plan.decodedHeight);
    data.reset(); // the file's bytes are not needed for the resize
    if (!image) return 0;
    if (orientation) *orientation = found;
    if ((plan.width != plan.decodedWidth || plan.height != plan.decodedHeight) &&
        !ScaleImage(image, plan.width, plan.height, 0)) {
        // An oversized picture must not pass for a finished one.
        ReleaseImage(image);
        return 0;
    }
    return image;
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
