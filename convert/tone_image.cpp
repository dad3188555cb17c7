#include "convert/tone_image.h"

#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "tone/kernels.h"

#include <algorithm>

int ToneImage(int64_t image, int shift) {
    if (!ImageExists(image) || !OpenDrawTarget(ImageTarget(image))) return 0;
    unsigned char *pixels = TargetPixels();
    if (!pixels) {
        CloseDrawTarget();
        return 0;
    }
    LuminanceAndTone(pixels, TargetPitch(), TargetHeight(), TargetLayout(),
                     int8_t(std::clamp(shift, -128, 127)));
    CloseDrawTarget();
    return 1;
}
