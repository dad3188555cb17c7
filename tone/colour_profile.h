// The colours a picture's values stand for, as its file describes them (an ICC
// profile, PNG's gAMA and cHRM, the primaries and transfer of HEIF's nclx or
// JPEG XL's colour encoding), turned into what toning needs: each pixel's
// luminance as sRGB's weights give it to the light the pixel stands for.
//
// A profile made of three primaries and three curves (Adobe RGB, Display P3,
// ProPhoto, gamma-1.8 "Generic RGB", Rec. 2020, ...) or of one grey curve is a
// matrix profile: its luminance stays three table lookups, with tables of its
// own in place of sRGB's (see luma_tables.h). Any other RGB profile (made of
// colour tables) takes its luminance from lcms2, pixel by pixel; a CMYK
// picture is turned into sRGB through its profile as it is read.
//
// A description of sRGB (primaries and curves within a small tolerance of
// sRGB's), or none, gives no profile at all: the pixels are read as sRGB, with
// sRGB's tables, exactly as without profiles. So does a profile lcms2 cannot
// read or that does not fit the pixels. Profiles are kept, once made, for the
// next picture that carries the same one. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "tone/luma_tables.h"

struct ColourProfile {
    std::string Name; // the profile's description, when it has one
    // A matrix profile: each channel's share of the luminance, as
    // round(k_c * 65532 * T_c(v / 255)) for the channel's curve T_c and the
    // luminance k_c of its primary.
    bool Matrix = false;
    uint16_t Weights[3][256] = {};
    bool Cmyk = false;      // the profile of CMYK pixels
    void *Handle = nullptr; // the lcms2 profile
    double Share[3] = {};   // k_c, summing to 1
    int Cap[3] = {};        // the weights at full light, summing to 65532 at most
    const void *Curves[3] = {};
    // Made when first asked for (see the functions below).
    void *IntoLight = nullptr; // lcms2's transform into linear sRGB, without a matrix
    // Made when first asked for (see the functions below); a CMYK profile's
    // IntoSrgb with the profile.
    mutable std::once_flag DeepMade, IntoSrgbMade;
    mutable std::unique_ptr<uint16_t[]> Deep; // 3 x 65536 weights
    mutable void *IntoSrgb = nullptr;

    ColourProfile() = default;
    ColourProfile(const ColourProfile &) = delete;
    ColourProfile &operator=(const ColourProfile &) = delete;
    ~ColourProfile();
};
using ColourProfileRef = std::shared_ptr<const ColourProfile>;

// An ICC profile's bytes; nullptr for sRGB, and for a profile that cannot be
// used (unreadable, Lab, or of another colour space than `cmyk` says).
ColourProfileRef ProfileFromIcc(const void *bytes, size_t length, bool cmyk = false);

// Chromaticities (x, y) of red, green, blue and white.
struct ColourPrimaries {
    double xy[4][2];
};
extern const ColourPrimaries SrgbPrimaries;

enum ColourTransfer {
    TransferSrgb,
    TransferGamma, // linear = value ^ gamma
    TransferLinear,
    TransferPq,  // SMPTE ST 2084, clipped at SDR white (203 cd/m2)
    TransferHlg, // ARIB STD-B67, clipped at SDR white
};

// The primaries and transfer that ITU-T H.273's code points name (as HEIF's
// nclx and JPEG XL's colour encoding give them); false for a code point this
// program does not know, which the caller then reads as sRGB's. The Rec. 709
// family of transfers (1, 6, 14, 15) is read with the sRGB curve, as screens
// show such pictures.
bool PrimariesFromCode(int code, ColourPrimaries *primaries);
bool TransferFromCode(int code, ColourTransfer *transfer, double *gamma);

// A description by primaries and transfer; nullptr when it is sRGB's.
ColourProfileRef ProfileFromPrimaries(const ColourPrimaries &primaries, ColourTransfer transfer,
                                      double gamma = 1.0);

// The tables a matrix profile's luminance is looked up in (its weights, with
// FineLumaEncodeTable), made on first use for 16-bit values; sRGB's for
// nullptr and for a profile without a matrix.
ByteLumaLookup ProfileLookup(const ColourProfile *profile);
DeepLumaLookup DeepProfileLookup(const ColourProfile *profile);

// The luminance of `count` pixels of R, G, B, A (8 or 16 bits) of an RGB
// profile without a matrix, through lcms2 in floating point: the light the
// pixel stands for, in sRGB's weights, however far outside sRGB's colours it
// lies. False when lcms2 cannot make the transform.
bool ProfileLuminance(const ColourProfile &profile, const uint8_t *pixels, uint16_t *luminance,
                      int64_t count);
bool DeepProfileLuminance(const ColourProfile &profile, const uint16_t *pixels, uint16_t *luminance,
                          int64_t count);

// `count` pixels of 8-bit R, G, B, A (C, M, Y, K of a CMYK profile, `inverted`
// as Adobe writes them) into sRGB R, G, B, A, in place; alpha stays. Colours
// outside sRGB's are clipped. False when lcms2 cannot make the transform.
bool PixelsIntoSrgb(const ColourProfile &profile, unsigned char *pixels, int64_t count,
                    bool inverted = false);
