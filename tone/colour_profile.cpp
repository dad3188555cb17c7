#include "tone/colour_profile.h"

#include "tone/luma_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <lcms2.h>
#include <vector>

const ColourPrimaries SrgbPrimaries = {
    {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}}};

namespace {

// How far a description may stray from sRGB's and still be read as sRGB: the
// sampled curves and rounded colorants of the common sRGB profiles stay well
// inside, gamma 2.2 (0.0036 away at mid-grey) and every wide gamut well outside.
constexpr double SrgbColorantTolerance = 0.002;
constexpr double SrgbCurveTolerance = 0.002;

// Profiles kept for the pictures that follow, the most recent first.
constexpr size_t KeptProfiles = 8;

struct Kept {
    std::string key;
    ColourProfileRef profile;
};

std::mutex KeptLock;
// lcms2 reads a profile's tags when first asked, so one profile is never read
// from two threads at once: every use of a kept profile's handle holds this.
std::mutex LcmsLock;
std::vector<Kept> KeptList;

// The colorants (PCS XYZ, D50) of sRGB's primaries as lcms2 adapts them: the
// columns of the matrix from linear sRGB to the profile connection space.
struct Colorants {
    double m[3][3]; // m[row X/Y/Z][channel]
};

bool ReadColorants(cmsHPROFILE handle, Colorants *out) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    for (int c = 0; c < 3; c++) {
        auto *xyz = static_cast<const cmsCIEXYZ *>(cmsReadTag(handle, tags[c]));
        if (!xyz) return false;
        out->m[0][c] = xyz->X, out->m[1][c] = xyz->Y, out->m[2][c] = xyz->Z;
    }
    return true;
}

const Colorants &SrgbColorants() {
    static const Colorants colorants = [] {
        Colorants c{};
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        ReadColorants(srgb, &c);
        cmsCloseProfile(srgb);
        return c;
    }();
    return colorants;
}

bool Invert(const double a[3][3], double out[3][3]) {
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (std::fabs(det) < 1e-12) return false;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            out[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
        }
    return true;
}

double Curve(const void *curve, double v) {
    const double t = cmsEvalToneCurveFloat(static_cast<const cmsToneCurve *>(curve), float(v));
    return std::clamp(t, 0.0, 1.0);
}

bool CurveIsSrgb(const void *curve) {
    for (int v = 0; v <= 255; v++)
        if (std::fabs(Curve(curve, v / 255.0) - DecodeSrgb(v / 255.0)) > SrgbCurveTolerance)
            return false;
    return true;
}

// k_c: the luminance, with sRGB's weights, of the light of each primary at full
// strength, taken into linear sRGB through the profile connection space.
bool Shares(const Colorants &profile, double share[3]) {
    double toSrgb[3][3];
    if (!Invert(SrgbColorants().m, toSrgb)) return false;
    double row[3] = {}; // weights . toSrgb
    for (int c = 0; c < 3; c++)
        for (int i = 0; i < 3; i++) row[c] += LumaChannelWeights[i] * toSrgb[i][c];
    double sum = 0;
    for (int c = 0; c < 3; c++) {
        share[c] = 0;
        for (int i = 0; i < 3; i++) share[c] += row[i] * profile.m[i][c];
        if (!(share[c] > 0)) return false; // a primary of no or negative light
        sum += share[c];
    }
    // White is white in every profile; the s15.16 colorants leave the sum a
    // hair off 1, which must not carry the sum of the tables past 65532.
    for (int c = 0; c < 3; c++) share[c] /= sum;
    return true;
}

// Each channel's weight at full light, rounded so that the three add up to no
// more than 65532: no sum of weights then runs past the encoding tables.
void FillCaps(ColourProfile &p) {
    int top = 0;
    for (int c = 0; c < 3; c++) top += p.Cap[c] = int(std::lround(p.Share[c] * LumaWeightScale));
    for (int c = 0; top > int(LumaWeightScale); c = (c + 1) % 3) p.Cap[c]--, top--;
}

// One channel's weight for the value `v` of `values` (256 or 65536).
uint16_t ChannelWeight(const ColourProfile &p, int c, int v, int values) {
    const long weight =
        std::lround(p.Share[c] * LumaWeightScale * Curve(p.Curves[c], double(v) / (values - 1)));
    return uint16_t(std::min(weight, long(p.Cap[c])));
}

void FillWeights(ColourProfile &p) {
    FillCaps(p);
    for (int c = 0; c < 3; c++)
        for (int v = 0; v < 256; v++) p.Weights[c][v] = ChannelWeight(p, c, v, 256);
}

// A matrix profile's shares and curves; false when the profile is sRGB's or
// not a matrix profile.
bool ReadMatrix(ColourProfile &p, bool *isSrgb) {
    cmsHPROFILE handle = p.Handle;
    *isSrgb = false;
    // A profile with colour tables is read through them by lcms2: so is it here.
    if (!cmsIsMatrixShaper(handle) ||
        cmsIsCLUT(handle, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_INPUT))
        return false;
    if (cmsGetColorSpace(handle) == cmsSigGrayData) {
        const void *grey = cmsReadTag(handle, cmsSigGrayTRCTag);
        if (!grey) return false;
        *isSrgb = CurveIsSrgb(grey);
        for (int c = 0; c < 3; c++) p.Share[c] = LumaChannelWeights[c], p.Curves[c] = grey;
        return true;
    }
    Colorants colorants;
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; c++)
        if (!(p.Curves[c] = cmsReadTag(handle, curves[c]))) return false;
    if (!ReadColorants(handle, &colorants) || !Shares(colorants, p.Share)) return false;
    bool near = true;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            near = near &&
                   std::fabs(colorants.m[r][c] - SrgbColorants().m[r][c]) <= SrgbColorantTolerance;
    for (int c = 0; c < 3 && near; c++) near = CurveIsSrgb(p.Curves[c]);
    *isSrgb = near;
    return true;
}

// A transform into sRGB, into *transform; false when lcms2 cannot make it.
bool MakeTransform(const ColourProfile &p, cmsUInt32Number in, cmsUInt32Number out,
                   cmsUInt32Number flags, void **transform) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    *transform = cmsCreateTransform(p.Handle, in, srgb, out, INTENT_RELATIVE_COLORIMETRIC,
                                    cmsFLAGS_NOCACHE | flags);
    cmsCloseProfile(srgb);
    return *transform != nullptr;
}

// lcms2's transform from `handle` into linear-light sRGB, in floating point:
// unbounded, so colours outside sRGB's keep their light.
void *IntoLinearSrgb(cmsHPROFILE handle) {
    const auto &xy = SrgbPrimaries.xy;
    const cmsCIExyY d65 = {xy[3][0], xy[3][1], 1.0};
    const cmsCIExyYTRIPLE rgb = {
        {xy[0][0], xy[0][1], 1.0}, {xy[1][0], xy[1][1], 1.0}, {xy[2][0], xy[2][1], 1.0}};
    cmsToneCurve *linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve *curves[3] = {linear, linear, linear};
    cmsHPROFILE light = linear ? cmsCreateRGBProfile(&d65, &rgb, curves) : nullptr;
    void *transform = light ? cmsCreateTransform(handle, TYPE_RGB_FLT, light, TYPE_RGB_FLT,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE)
                            : nullptr;
    if (light) cmsCloseProfile(light);
    if (linear) cmsFreeToneCurve(linear);
    return transform;
}

// The profile for `handle` (taken), or nullptr when it is sRGB's or unusable.
ColourProfileRef MakeProfile(cmsHPROFILE handle, bool cmyk) {
    if (!handle) return nullptr;
    auto p = std::make_shared<ColourProfile>();
    p->Handle = handle;
    const cmsColorSpaceSignature space = cmsGetColorSpace(handle);
    if (cmyk != (space == cmsSigCmykData) ||
        !(space == cmsSigRgbData || space == cmsSigGrayData || space == cmsSigCmykData))
        return nullptr;
    p->Cmyk = cmyk;
    char name[256] = {};
    if (cmsGetProfileInfoASCII(handle, cmsInfoDescription, "en", "US", name, sizeof name))
        p->Name = name;
    bool isSrgb = false;
    p->Matrix = !cmyk && ReadMatrix(*p, &isSrgb);
    if (isSrgb) return nullptr;
    if (p->Matrix) {
        FillWeights(*p);
        return p;
    }
    // A profile of colour tables is used only when lcms2 can read pixels
    // through it; a grey one made of tables is rare enough to read as sRGB.
    if (space == cmsSigGrayData) return nullptr;
    if (cmyk) return MakeTransform(*p, TYPE_CMYK_8_REV, TYPE_RGB_8, 0, &p->IntoSrgb) ? p : nullptr;
    return (p->IntoLight = IntoLinearSrgb(handle)) ? p : nullptr;
}

// Keeps `profile` (nullptr too: sRGB needs no second look either).
ColourProfileRef Keep(std::string key, ColourProfileRef profile) {
    std::lock_guard<std::mutex> hold(KeptLock);
    KeptList.insert(KeptList.begin(), Kept{std::move(key), profile});
    if (KeptList.size() > KeptProfiles) KeptList.pop_back();
    return profile;
}

bool Known(const std::string &key, ColourProfileRef *profile) {
    std::lock_guard<std::mutex> hold(KeptLock);
    for (size_t i = 0; i < KeptList.size(); i++)
        if (KeptList[i].key == key) {
            *profile = KeptList[i].profile;
            std::rotate(KeptList.begin(), KeptList.begin() + long(i),
                        KeptList.begin() + long(i) + 1);
            return true;
        }
    return false;
}

// 4096 samples of a transfer curve, for lcms2.
cmsToneCurve *SampledCurve(ColourTransfer transfer, double gamma) {
    constexpr int samples = 4096;
    std::vector<float> values(samples);
    for (int i = 0; i < samples; i++) {
        const double v = i / double(samples - 1);
        double linear = v;
        switch (transfer) {
        case TransferSrgb:
            linear = DecodeSrgb(v);
            break;
        case TransferGamma:
            linear = std::pow(v, gamma);
            break;
        case TransferLinear:
            break;
        case TransferPq: {
            // Absolute light up to 10000 cd/m2; SDR white is 203.
            const double m1 = 0.1593017578125, m2 = 78.84375, c1 = 0.8359375, c2 = 18.8515625,
                         c3 = 18.6875;
            const double p = std::pow(v, 1 / m2);
            linear = std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1) * 10000 / 203;
            break;
        }
        case TransferHlg: {
            // Scene light, then the display's system gamma of 1.2 at 1000 cd/m2.
            const double a = 0.17883277, b = 0.28466892, c = 0.55991073;
            const double scene = v <= 0.5 ? v * v / 3 : (std::exp((v - c) / a) + b) / 12;
            linear = std::pow(scene, 1.2) * 1000 / 203;
            break;
        }
        }
        values[size_t(i)] = float(std::min(linear, 1.0));
    }
    return cmsBuildTabulatedToneCurveFloat(nullptr, samples, values.data());
}

} // namespace

ColourProfile::~ColourProfile() {
    if (IntoSrgb) cmsDeleteTransform(IntoSrgb);
    if (IntoLight) cmsDeleteTransform(IntoLight);
    if (Handle) cmsCloseProfile(Handle);
}

ColourProfileRef ProfileFromIcc(const void *bytes, size_t length, bool cmyk) {
    if (!bytes || length < 132) return nullptr; // not even a header and a tag count
    std::string key(cmyk ? "cmyk:" : "icc:");
    key.append(static_cast<const char *>(bytes), length);
    ColourProfileRef profile;
    if (Known(key, &profile)) return profile;
    return Keep(std::move(key),
                MakeProfile(cmsOpenProfileFromMem(bytes, cmsUInt32Number(length)), cmyk));
}

bool PrimariesFromCode(int code, ColourPrimaries *primaries) {
    constexpr double d65[2] = {0.3127, 0.3290};
    switch (code) {
    case 1: // Rec. 709 and sRGB
        *primaries = SrgbPrimaries;
        return true;
    case 9: // Rec. 2020 and 2100
        *primaries = {{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, {d65[0], d65[1]}}};
        return true;
    case 11: // DCI-P3, its own white
        *primaries = {{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.314, 0.351}}};
        return true;
    case 12: // Display P3
        *primaries = {{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {d65[0], d65[1]}}};
        return true;
    }
    return false;
}

bool TransferFromCode(int code, ColourTransfer *transfer, double *gamma) {
    *gamma = 1;
    switch (code) {
    case 1:
    case 6:
    case 13:
    case 14:
    case 15:
        *transfer = TransferSrgb;
        return true;
    case 4:
        *transfer = TransferGamma, *gamma = 2.2;
        return true;
    case 5:
        *transfer = TransferGamma, *gamma = 2.8;
        return true;
    case 8:
        *transfer = TransferLinear;
        return true;
    case 16:
        *transfer = TransferPq;
        return true;
    case 18:
        *transfer = TransferHlg;
        return true;
    }
    return false;
}

ColourProfileRef ProfileFromPrimaries(const ColourPrimaries &primaries, ColourTransfer transfer,
                                      double gamma) {
    std::string key = "primaries:";
    key.append(reinterpret_cast<const char *>(&primaries), sizeof primaries);
    key += std::to_string(int(transfer)) + ":" + std::to_string(gamma);
    ColourProfileRef profile;
    if (Known(key, &profile)) return profile;
    const auto &xy = primaries.xy;
    const cmsCIExyY white = {xy[3][0], xy[3][1], 1.0};
    const cmsCIExyYTRIPLE rgb = {
        {xy[0][0], xy[0][1], 1.0}, {xy[1][0], xy[1][1], 1.0}, {xy[2][0], xy[2][1], 1.0}};
    cmsToneCurve *curve = SampledCurve(transfer, gamma);
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE handle = curve ? cmsCreateRGBProfile(&white, &rgb, curves) : nullptr;
    if (curve) cmsFreeToneCurve(curve);
    return Keep(std::move(key), MakeProfile(handle, false));
}

ByteLumaLookup ProfileLookup(const ColourProfile *p) {
    if (!p || !p->Matrix) return SrgbLumaLookup();
    BuildFineLumaTable();
    return {p->Weights, FineLumaEncodeTable, 0};
}

DeepLumaLookup DeepProfileLookup(const ColourProfile *p) {
    if (!p || !p->Matrix) {
        BuildDeepLumaTables();
        return {DeepLumaWeightTables, LumaEncodeTable, 2};
    }
    std::call_once(p->DeepMade, [p] {
        std::lock_guard<std::mutex> hold(LcmsLock);
        BuildFineLumaTable();
        p->Deep.reset(new uint16_t[3 * 65536]);
        uint16_t *deep = p->Deep.get();
        for (int c = 0; c < 3; c++)
            for (int v = 0; v < 65536; v++)
                deep[size_t(c) * 65536 + size_t(v)] = ChannelWeight(*p, c, v, 65536);
    });
    return {reinterpret_cast<const uint16_t(*)[65536]>(p->Deep.get()), FineLumaEncodeTable, 0};
}

namespace {

// Pixels through lcms2 into linear-light sRGB, unbounded, a piece at a time;
// each one's luminance re-encoded as the tables would with no rounding on the
// way. `Value` is the channel type, `scale` its largest value.
template <typename Value>
bool LuminanceThroughLight(const ColourProfile &p, const Value *pixels, uint16_t *luminance,
                           int64_t count, float scale) {
    if (!p.IntoLight) return false;
    constexpr int64_t piece = 256;
    float in[piece * 3], out[piece * 3];
    for (int64_t done = 0; done < count; done += piece) {
        const int64_t n = std::min(piece, count - done);
        const Value *from = pixels + done * 4;
        for (int64_t i = 0; i < n; i++)
            for (int c = 0; c < 3; c++) in[i * 3 + c] = float(from[i * 4 + c]) / scale;
        cmsDoTransform(p.IntoLight, in, out, cmsUInt32Number(n));
        for (int64_t i = 0; i < n; i++) {
            double y = 0;
            for (int c = 0; c < 3; c++) y += LumaChannelWeights[c] * double(out[i * 3 + c]);
            const long encoded = std::lround(2048.0 * EncodeSrgb(std::clamp(y, 0.0, 1.0)));
            luminance[done + i] = uint16_t(std::min(encoded, 2047L));
        }
    }
    return true;
}

} // namespace

bool ProfileLuminance(const ColourProfile &p, const uint8_t *pixels, uint16_t *luminance,
                      int64_t count) {
    return !p.Cmyk && LuminanceThroughLight(p, pixels, luminance, count, 255.0f);
}

bool DeepProfileLuminance(const ColourProfile &p, const uint16_t *pixels, uint16_t *luminance,
                          int64_t count) {
    return !p.Cmyk && LuminanceThroughLight(p, pixels, luminance, count, 65535.0f);
}

bool PixelsIntoSrgb(const ColourProfile &p, unsigned char *pixels, int64_t count, bool inverted) {
    if (!p.Cmyk)
        std::call_once(p.IntoSrgbMade, [&p] {
            std::lock_guard<std::mutex> hold(LcmsLock);
            MakeTransform(p, TYPE_RGBA_8, TYPE_RGBA_8, cmsFLAGS_COPY_ALPHA, &p.IntoSrgb);
        });
    if (!p.IntoSrgb) return false;
    if (!p.Cmyk) {
        cmsDoTransform(p.IntoSrgb, pixels, pixels, cmsUInt32Number(count));
        return true;
    }
    // C, M, Y, K in, R, G, B out, a piece at a time through a buffer on the stack.
    constexpr int64_t piece = 256;
    unsigned char rgb[piece * 3];
    for (int64_t done = 0; done < count; done += piece) {
        const int64_t n = std::min(piece, count - done);
        unsigned char *at = pixels + done * 4;
        if (!inverted)
            for (int64_t i = 0; i < n * 4; i++) at[i] = uint8_t(255 - at[i]);
        cmsDoTransform(p.IntoSrgb, at, rgb, cmsUInt32Number(n));
        for (int64_t i = 0; i < n; i++)
            at[i * 4] = rgb[i * 3], at[i * 4 + 1] = rgb[i * 3 + 1], at[i * 4 + 2] = rgb[i * 3 + 2],
                   at[i * 4 + 3] = 255;
    }
    return true;
}
