// The pictures compiled into the program, as their encoded PNG bytes.
//
// Owns the read-only byte arrays the build embeds from resources/pictures/. Numbers:
//   0 slider strip (488 x 16, RGB)      1 sample photograph (256 x 192, RGB)
//   2 drop banner (319 x 25, RGBA)      3 help icon (24 x 24, RGBA)
//   4 info icon (24 x 24, RGBA)         5 application icon (192 x 192, palette)
//   6 sample background (256 x 192, RGB), the field a dropped sample is drawn onto.
// The data is constant, so any thread may call PictureData at any time.
#pragma once

#include <cstddef>

// Encoded bytes of a compiled-in picture.
struct EmbeddedData {
    const unsigned char *bytes;
    size_t size;
};

// The PNG data of picture `number` (0..6 as above); {nullptr, 0} for any other number.
EmbeddedData PictureData(int number);

constexpr int PictureCount = 7;
