// An RGB colour profile made of colour tables (no primaries, no curves), for
// the tests and benchmarks of pictures whose colours lcms2 reads pixel by pixel.
#pragma once

#include <lcms2.h>

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
