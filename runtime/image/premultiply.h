// Colour under transparency, for resizing: a filter that mixes neighbouring
// pixels must weigh each colour by its alpha, or the colour of transparent
// pixels (usually black) bleeds into the edges around them. R, G, B, A rows
// (`pitch` bytes apart) are premultiplied before the resize and turned back into
// straight colour after it. Opaque pixels are left as they are. Any thread.
#pragma once

#include <cstdint>

// c = (c x a + 127) / 255 for each colour channel.
void PremultiplyRgba(unsigned char *pixels, int64_t width, int64_t height, int64_t pitch);
// c = (c x 255 + a / 2) / a, at most 255; a fully transparent pixel keeps colour 0.
void UnpremultiplyRgba(unsigned char *pixels, int64_t width, int64_t height, int64_t pitch);
