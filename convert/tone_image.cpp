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

void ToneRows(unsigned char *pixels, int64_t pitch, int64_t rows, int64_t layout, int shift) {
    LuminanceAndTone(pixels, pitch, rows, layout, int8_t(std::clamp(shift, -128, 127)));
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
            helper =
                std::thread(ToneRows, pixels + upper * pitch, pitch, rows - upper, layout, shift);
        } catch (const std::system_error &) {
            upper = rows; // no second thread: one pass here
        }
    }
    ToneRows(pixels, pitch, upper, layout, shift);
    if (helper.joinable()) helper.join();
    CloseDrawTarget();
    return 1;
}
