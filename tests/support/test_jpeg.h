// Encodes RGB test pixels to JPEG on a handle of its own, never the program's shared one.
#pragma once

#include <turbojpeg.h>

#include <vector>

// `rgb` holds width * height RGB triples; empty on failure.
inline std::vector<unsigned char> EncodeTestJpeg(const unsigned char *rgb, int width, int height,
                                                 int subsampling, int quality, int flags = 0) {
    tjhandle handle = tjInitCompress();
    if (!handle) return {};
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    std::vector<unsigned char> out;
    if (tjCompress2(handle, rgb, width, width * 3, height, TJPF_RGB, &jpeg, &size, subsampling,
                    quality, flags) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}
