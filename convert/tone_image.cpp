#include "convert/tone_image.h"

#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "tone/kernels.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace {

// Below this many bytes a second thread costs more than it saves.
constexpr int64_t SplitBytes = int64_t(4) << 20;

} // namespace

void ToneRows(unsigned char *pixels, int64_t pitch, int64_t rows, int64_t layout, int shift,
              const ByteLumaLookup &lookup) {
    LuminanceAndToneWith(lookup, pixels, pitch, rows, layout, int8_t(std::clamp(shift, -128, 127)));
}

bool ToneRowsThroughLight(const ColourProfile &profile, unsigned char *pixels, int64_t pitch,
                          int64_t rows, int shift) {
    // A piece of a row at a time: its luminance goes into the first two bytes
    // of each pixel, where ToneStoredLuminance reads it.
    constexpr int64_t piece = 256;
    uint16_t luminance[piece];
    const int64_t width = pitch / 4;
    for (int64_t y = 0; y < rows; y++)
        for (int64_t x = 0; x < width; x += piece) {
            const int64_t n = std::min(piece, width - x);
            unsigned char *p = pixels + y * pitch + x * 4;
            if (!ProfileLuminance(profile, p, luminance, n)) return false;
            for (int64_t i = 0; i < n; i++)
                p[i * 4] = uint8_t(luminance[i]), p[i * 4 + 1] = uint8_t(luminance[i] >> 8);
        }
    ToneLuminanceRows(pixels, pitch, rows, shift);
    return true;
}

void ToneLuminanceRows(unsigned char *pixels, int64_t pitch, int64_t rows, int shift) {
    ToneStoredLuminance(pixels, pitch, rows, int8_t(std::clamp(shift, -128, 127)));
}

int ToneImage(int64_t image, int shift) {
    if (!ImageExists(image) || !OpenDrawTarget(ImageTarget(image))) return 0;
    unsigned char *pixels = TargetPixels();
    if (!pixels) {
        CloseDrawTarget();
        return 0;
    }
    int64_t pitch = TargetPitch(), rows = TargetHeight(), layout = TargetLayout();
    // Every pixel is toned alone, so the rows split over two threads give the
    // same bytes as one pass: the lower half on a helper, the upper half here.
    int64_t upper = pitch * rows >= SplitBytes ? rows / 2 : rows;
    std::thread helper;
    if (upper < rows) {
        try {
            helper = std::thread(ToneRows, pixels + upper * pitch, pitch, rows - upper, layout,
                                 shift, SrgbLumaLookup());
        } catch (const std::system_error &) {
            upper = rows; // no second thread: one pass here
        }
    }
    ToneRows(pixels, pitch, upper, layout, shift);
    if (helper.joinable()) helper.join();
    CloseDrawTarget();
    return 1;
}
