#include "tone/kernels.h"

#include "tone/colour_table.h"
#include "tone/luma_tables.h"

namespace {

// Byte positions of one pixel layout. The layout is chosen once per call and each
// loop below is instantiated per layout, so nothing inside a row depends on it.
template <int Bytes, int R, int G, int B> struct Layout {
    static constexpr int bytes = Bytes, r = R, g = G, b = B;
};
using BytesRgbx = Layout<4, 0, 1, 2>;
using BytesRgb = Layout<3, 0, 1, 2>;
using BytesBgrx = Layout<4, 2, 1, 0>;
using BytesBgr = Layout<3, 2, 1, 0>;

// The lookup as the loops use it: the rounding half of the shift added once.
struct Lookup {
    const uint16_t (*w)[256];
    const uint16_t *encode;
    unsigned half;
    int shift;
    explicit Lookup(const ByteLumaLookup &l)
        : w(l.Weights), encode(l.Encode), half((1u << l.Shift) >> 1), shift(l.Shift) {}
};

template <typename L> inline uint16_t PixelLuminance(const Lookup &k, const uint8_t *p) {
    const unsigned sum = unsigned(k.w[0][p[L::r]]) + k.w[1][p[L::g]] + k.w[2][p[L::b]] + k.half;
    return k.encode[sum >> k.shift];
}

template <typename L> inline void WriteColour(uint8_t *p, uint32_t colour) {
    p[L::r] = uint8_t(colour);
    p[L::g] = uint8_t(colour >> 8);
    p[L::b] = uint8_t(colour >> 16);
}

template <typename L>
void LuminanceLoop(const Lookup w, const uint8_t *pixels, uint16_t *luminance, int64_t pitch,
                   int64_t rows) {
    const int64_t slots = pitch / L::bytes;
    for (int64_t y = 0; y < rows; y++) {
        const uint8_t *p = pixels + y * pitch;
        for (int64_t x = 0; x < slots; x++, p += L::bytes) *luminance++ = PixelLuminance<L>(w, p);
    }
}

template <typename L>
void ToneLoop(const uint16_t *luminance, uint8_t *pixels, int64_t pitch, int64_t rows,
              const uint32_t *colours) {
    const int64_t slots = pitch / L::bytes;
    for (int64_t y = 0; y < rows; y++) {
        uint8_t *p = pixels + y * pitch;
        for (int64_t x = 0; x < slots; x++, p += L::bytes) WriteColour<L>(p, colours[*luminance++]);
    }
}

template <typename L>
void FusedLoop(const Lookup w, uint8_t *pixels, int64_t pitch, int64_t rows,
               const uint32_t *colours) {
    const int64_t slots = pitch / L::bytes;
    for (int64_t y = 0; y < rows; y++) {
        uint8_t *p = pixels + y * pitch;
        for (int64_t x = 0; x < slots; x++, p += L::bytes)
            WriteColour<L>(p, colours[PixelLuminance<L>(w, p)]);
    }
}

// The tone shift moves the whole lookup by 8 entries per step; the guard bands of
// the colour table cover -1024..+1016, so the shifted origin needs no bounds test.
const uint32_t *ShiftedColours(int8_t shift) {
    return ToneColourTable + 8 * int(shift);
}

enum PixelLayout { PixelRgbx, PixelRgb, PixelBgrx, PixelBgr };

PixelLayout LayoutOf(int64_t format) {
    if (format & LayoutRgba) return PixelRgbx;
    if (format & LayoutRgb) return PixelRgb;
    if (format & LayoutBgra) return PixelBgrx;
    return PixelBgr;
}

} // namespace

int64_t LuminanceSlotsPerRow(int64_t pitch, int64_t format) {
    const PixelLayout layout = LayoutOf(format);
    return pitch / (layout == PixelRgbx || layout == PixelBgrx ? 4 : 3);
}

int ComputeLuminance(const uint8_t *pixels, uint16_t *luminance, int64_t pitch, int64_t rows,
                     int64_t format) {
    return ComputeLuminanceWith(SrgbLumaLookup(), pixels, luminance, pitch, rows, format);
}

int ComputeLuminanceWith(const ByteLumaLookup &lookup, const uint8_t *pixels, uint16_t *luminance,
                         int64_t pitch, int64_t rows, int64_t format) {
    const Lookup weights(lookup);
    switch (LayoutOf(format)) {
    case PixelRgbx:
        LuminanceLoop<BytesRgbx>(weights, pixels, luminance, pitch, rows);
        break;
    case PixelRgb:
        LuminanceLoop<BytesRgb>(weights, pixels, luminance, pitch, rows);
        break;
    case PixelBgrx:
        LuminanceLoop<BytesBgrx>(weights, pixels, luminance, pitch, rows);
        break;
    case PixelBgr:
        LuminanceLoop<BytesBgr>(weights, pixels, luminance, pitch, rows);
        break;
    }
    return 0;
}

int ApplyTone(const uint16_t *luminance, uint8_t *pixels, int64_t pitch, int64_t rows,
              int64_t format, int8_t shift) {
    const uint32_t *colours = ShiftedColours(shift);
    switch (LayoutOf(format)) {
    case PixelRgbx:
        ToneLoop<BytesRgbx>(luminance, pixels, pitch, rows, colours);
        break;
    case PixelRgb:
        ToneLoop<BytesRgb>(luminance, pixels, pitch, rows, colours);
        break;
    case PixelBgrx:
        ToneLoop<BytesBgrx>(luminance, pixels, pitch, rows, colours);
        break;
    case PixelBgr:
        ToneLoop<BytesBgr>(luminance, pixels, pitch, rows, colours);
        break;
    }
    return 0;
}

int ToneStoredLuminance(uint8_t *pixels, int64_t pitch, int64_t rows, int8_t shift) {
    const uint32_t *colours = ShiftedColours(shift);
    const int64_t slots = pitch / 4;
    for (int64_t y = 0; y < rows; y++) {
        uint8_t *p = pixels + y * pitch;
        for (int64_t x = 0; x < slots; x++, p += 4)
            WriteColour<BytesRgbx>(p, colours[p[0] | (p[1] << 8)]);
    }
    return 0;
}

int LuminanceAndTone(uint8_t *pixels, int64_t pitch, int64_t rows, int64_t format, int8_t shift) {
    return LuminanceAndToneWith(SrgbLumaLookup(), pixels, pitch, rows, format, shift);
}

int LuminanceAndToneWith(const ByteLumaLookup &lookup, uint8_t *pixels, int64_t pitch, int64_t rows,
                         int64_t format, int8_t shift) {
    const Lookup weights(lookup);
    const uint32_t *colours = ShiftedColours(shift);
    switch (LayoutOf(format)) {
    case PixelRgbx:
        FusedLoop<BytesRgbx>(weights, pixels, pitch, rows, colours);
        break;
    case PixelRgb:
        FusedLoop<BytesRgb>(weights, pixels, pitch, rows, colours);
        break;
    case PixelBgrx:
        FusedLoop<BytesBgrx>(weights, pixels, pitch, rows, colours);
        break;
    case PixelBgr:
        FusedLoop<BytesBgr>(weights, pixels, pitch, rows, colours);
        break;
    }
    return 0;
}
