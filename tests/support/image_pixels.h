// Reading and writing single pixels of a numbered image in tests, straight in its
// memory (R, G, B, A bytes, pitch width x 4).
#pragma once

#include "runtime/image/images.h"

#include <array>
#include <cstddef>
#include <cstdint>

using Rgba = std::array<int, 4>;

inline Rgba PixelOf(int64_t image, int x, int y) {
    ImageRecord *record = LookupImage(image);
    const unsigned char *p = record->pixels + (size_t(y) * record->width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

inline void SetPixel(int64_t image, int x, int y, Rgba value) {
    ImageRecord *record = LookupImage(image);
    unsigned char *p = record->pixels + (size_t(y) * record->width + x) * 4;
    for (int n = 0; n < 4; ++n) p[n] = static_cast<unsigned char>(value[n]);
}
