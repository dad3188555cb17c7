// A JPEG brought into the box the plain way, as a reference for the program's
// readers: TurboJPEG decodes the whole file at the loader's eighth-scale in one
// call, then ScaleImage resizes the whole picture. Nothing of the program's
// row-by-row reading is used.
#pragma once

#include "runtime/base/text.h"
#include "runtime/image/images.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"

#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

// An image (automatic number) or 0 when TurboJPEG does not decode the file.
inline int64_t TurboJpegLoad(const String &path, int64_t maxWidth, int64_t maxHeight,
                             int *orientation = nullptr) {
    std::ifstream in(Utf8Of(path), std::ios::binary);
    std::vector<unsigned char> data{std::istreambuf_iterator<char>(in), {}};
    int w = 0, h = 0, sub = 0, space = 0;
    if (data.size() < 97 || StartJpegHandles() != 1) return 0;
    if (tjDecompressHeader3(JpegDecompressor(), data.data(), data.size(), &w, &h, &sub, &space) !=
        0)
        return 0;
    int found = ReadJpegOrientation(data.data(), data.size()) & 0xFF;
    if (found >= 5 && found <= 8) std::swap(maxWidth, maxHeight);
    JpegScalePlan plan = PlanJpegScale(w, h, maxWidth, maxHeight);
    int64_t image = NewDecodedImage(-1, plan.decodedWidth, plan.decodedHeight, 24, 0);
    if (!image) return 0;
    bool decoded =
        tjDecompress2(JpegDecompressor(), data.data(), data.size(), LookupImage(image)->pixels,
                      int(plan.decodedWidth), int(plan.decodedWidth * 4), int(plan.decodedHeight),
                      TJPF_RGBA, TJFLAG_ACCURATEDCT) == 0;
    if (decoded && (plan.width != plan.decodedWidth || plan.height != plan.decodedHeight))
        decoded = ScaleImage(image, plan.width, plan.height, 0) != 0;
    if (!decoded) {
        ReplaceJpegDecompressor();
        ReleaseImage(image);
        return 0;
    }
    if (orientation) *orientation = found;
    return image;
}
