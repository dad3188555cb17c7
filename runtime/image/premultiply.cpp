#include "runtime/image/premultiply.h"

void PremultiplyRgba(unsigned char *pixels, int64_t width, int64_t height, int64_t pitch) {
    for (int64_t y = 0; y < height; y++) {
        unsigned char *p = pixels + y * pitch;
        for (int64_t x = 0; x < width; x++, p += 4) {
            unsigned a = p[3];
            if (a == 255) continue;
            for (int c = 0; c < 3; c++) p[c] = (unsigned char)((p[c] * a + 127) / 255);
        }
    }
}

void UnpremultiplyRgba(unsigned char *pixels, int64_t width, int64_t height, int64_t pitch) {
    for (int64_t y = 0; y < height; y++) {
        unsigned char *p = pixels + y * pitch;
        for (int64_t x = 0; x < width; x++, p += 4) {
            unsigned a = p[3];
            if (a == 255) continue;
            if (a == 0) {
                p[0] = p[1] = p[2] = 0;
                continue;
            }
            for (int c = 0; c < 3; c++) {
                unsigned v = (p[c] * 255u + a / 2) / a;
                p[c] = (unsigned char)(v > 255 ? 255 : v);
            }
        }
    }
}
