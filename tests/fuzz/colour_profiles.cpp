// ProfileFromIcc on any bytes, as a picture's file hands them over; the first
// byte's low bit says whether the picture is CMYK. What must hold: a profile
// that comes back gives each pixel a luminance of 0..2047 through its tables
// (no sum of weights past the encoding table) or through lcms2, and turns
// pixels into sRGB without touching memory beyond them.
#include "tests/fuzz/fuzz_support.h"
#include "tone/colour_profile.h"
#include "tone/luma_tables.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    BuildLumaTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const bool cmyk = data[0] & 1;
    const ColourProfileRef profile = ProfileFromIcc(data + 1, size - 1, cmyk);
    if (!profile) return 0;
    FUZZ_CHECK(profile->Cmyk == cmyk);
    // Every grey and every primary at a few strengths.
    uint8_t pixels[64 * 4];
    for (int i = 0; i < 64; i++)
        for (int c = 0; c < 4; c++)
            pixels[i * 4 + c] = uint8_t(c == 3   ? 255
                                        : i < 16 ? i * 17
                                                 : (i / 16 - 1 == c) * (i % 16) * 17);
    if (profile->Matrix) {
        const ByteLumaLookup lookup = ProfileLookup(profile.get());
        for (int r = 0; r < 256; r += 15)
            for (int g = 0; g < 256; g += 15)
                for (int b = 0; b < 256; b += 15) {
                    const unsigned sum = unsigned(lookup.Weights[0][r]) + lookup.Weights[1][g] +
                                         lookup.Weights[2][b];
                    FUZZ_CHECK(sum < FineLumaEncodeEntries);
                }
    } else if (!cmyk) {
        uint16_t luminance[64];
        FUZZ_CHECK(ProfileLuminance(*profile, pixels, luminance, 64));
        for (uint16_t l : luminance) FUZZ_CHECK(l <= 2047);
    }
    PixelsIntoSrgb(*profile, pixels, 64);
    return 0;
}
