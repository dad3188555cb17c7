// Pictures that describe their colours, for the tests and benchmarks of colour
// profiles: an RGB profile made of colour tables (no primaries, no curves),
// which lcms2 reads pixel by pixel, and PNGs carrying a profile or a gamma.
#pragma once

#include "tests/support/test_jpeg.h"

#include <cstdio>
#include <lcms2.h>
#include <png.h>
#include <string>
#include <vector>

// An RGB profile made of colour tables: a 17-point grid of a gamma-1.8 picture
// with Display P3's primaries, as Lab.
inline std::vector<unsigned char> TableProfile() {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE p3 = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    cmsToneCurve *gamma = cmsBuildGamma(nullptr, 1.8);
    cmsToneCurve *curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE source = cmsCreateRGBProfile(&d65, &p3, curves);
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(source, TYPE_RGB_16, lab, TYPE_Lab_16,
                                             INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
    cmsHPROFILE tables = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(tables, 2.1);
    cmsSetDeviceClass(tables, cmsSigInputClass);
    cmsSetColorSpace(tables, cmsSigRgbData);
    cmsSetPCS(tables, cmsSigLabData);
    cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage *grid = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    cmsStageSampleCLut16bit(
        grid,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo) -> cmsInt32Number {
            cmsDoTransform(cargo, in, out, 1);
            return 1;
        },
        toLab, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, grid);
    cmsWriteTag(tables, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(tables, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(tables, nullptr, &length);
    std::vector<unsigned char> bytes(length);
    cmsSaveProfileToMem(tables, bytes.data(), &length);
    cmsPipelineFree(pipeline);
    cmsCloseProfile(tables);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(source);
    cmsFreeToneCurve(gamma);
    return bytes;
}

// A 160 x 120 PNG of PhotoPixels with `icc` as its profile, or with a gamma of
// 1 / `gamma` and Adobe RGB's chromaticities, or neither (both left out).
inline void WriteProfiledPng(const std::string &path, const std::vector<unsigned char> &icc,
                             double gamma = 0) {
    const int w = 160, h = 120;
    const std::vector<unsigned char> pixels = PhotoPixels(w, h);
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (gamma > 0) {
        png_set_gAMA(png, info, 1 / gamma);
        png_set_cHRM(png, info, 0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06);
    }
    if (!icc.empty())
        png_set_iCCP(png, info, "tables", PNG_COMPRESSION_TYPE_BASE, icc.data(),
                     png_uint_32(icc.size()));
    png_write_info(png, info);
    for (int y = 0; y < h; y++) png_write_row(png, &pixels[size_t(y * w * 3)]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}
