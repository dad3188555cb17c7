// Encodes RGB test pixels to JPEG on a handle of its own, never the program's shared one.
#pragma once

#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

// A w x h photograph-like picture (gradients, hard edges, texture, grain and,
// with a fourth channel, varied alpha), `channels` bytes a pixel.
inline std::vector<unsigned char> PhotoPixels(int w, int h, int channels = 3) {
    std::vector<unsigned char> pixels(size_t(w) * size_t(h) * size_t(channels));
    uint32_t seed = 5;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            seed = seed * 1664525u + 1013904223u;
            int grain = int(seed >> 28) - 8, edge = (x / 41 + y / 29) % 3 == 0 ? 70 : 0;
            int v[4] = {x * 255 / w + edge, y * 255 / h, ((x * x + y * 5) >> 6) & 255,
                        255 - (x / 97 % 4) * 60};
            unsigned char *p = &pixels[(size_t(y) * size_t(w) + size_t(x)) * size_t(channels)];
            for (int c = 0; c < channels; c++)
                p[c] = (unsigned char)std::clamp(v[c] + (c < 3 ? grain : 0), 0, 255);
        }
    return pixels;
}

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

// An EXIF APP1 segment with IFD0 holding `entries` (tag, value) SHORT entries.
inline std::vector<unsigned char> ExifSegment(bool little,
                                              std::vector<std::pair<int, int>> entries) {
    std::vector<unsigned char> tiff;
    auto put16 = [&](int v) {
        if (little)
            tiff.insert(tiff.end(), {(unsigned char)v, (unsigned char)(v >> 8)});
        else
            tiff.insert(tiff.end(), {(unsigned char)(v >> 8), (unsigned char)v});
    };
    auto put32 = [&](uint32_t v) {
        if (little)
            put16(int(v & 0xFFFF)), put16(int(v >> 16));
        else
            put16(int(v >> 16)), put16(int(v & 0xFFFF));
    };
    tiff.insert(tiff.end(),
                {(unsigned char)(little ? 'I' : 'M'), (unsigned char)(little ? 'I' : 'M')});
    put16(42);
    put32(8);
    put16(int(entries.size()));
    for (auto [tag, value] : entries) {
        put16(tag);
        put16(3);
        put32(1);
        put16(value);
        put16(0);
    }
    put32(0);
    const unsigned char head[10] = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    std::vector<unsigned char> segment(head, head + 10);
    segment.resize(10 + tiff.size());
    std::copy(tiff.begin(), tiff.end(), segment.begin() + 10);
    size_t length = segment.size() - 2;
    segment[2] = (unsigned char)(length >> 8);
    segment[3] = (unsigned char)length;
    return segment;
}

// The JPEG with `segment` inserted right after its start-of-image marker.
inline std::vector<unsigned char> WithSegment(std::vector<unsigned char> jpeg,
                                              const std::vector<unsigned char> &segment) {
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// Decodes a JPEG to RGB triples (accurate DCT, as the program's loader decodes);
// empty on failure.
inline std::vector<unsigned char> DecodeTestJpeg(const std::vector<unsigned char> &jpeg, int *width,
                                                 int *height) {
    tjhandle handle = tjInitDecompress();
    std::vector<unsigned char> rgb;
    int subsampling = 0, colourspace = 0;
    if (handle && tjDecompressHeader3(handle, jpeg.data(), (unsigned long)jpeg.size(), width,
                                      height, &subsampling, &colourspace) == 0) {
        rgb.resize(size_t(*width) * *height * 3);
        if (tjDecompress2(handle, jpeg.data(), (unsigned long)jpeg.size(), rgb.data(), *width,
                          *width * 3, *height, TJPF_RGB, TJFLAG_ACCURATEDCT) != 0)
            rgb.clear();
    }
    if (handle) tjDestroy(handle);
    return rgb;
}

// A w x h JPEG stored white in its top `band` rows and black below, marked with
// EXIF orientation 6: shown upright (a quarter turn clockwise) it is h x w with
// the white band down its right-hand side.
inline std::vector<unsigned char> TurnedBandJpeg(int w, int h, int band) {
    std::vector<unsigned char> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w * 3; x++) rgb[size_t(y) * w * 3 + x] = y < band ? 255 : 0;
    return WithSegment(EncodeTestJpeg(rgb.data(), w, h, TJSAMP_444, 95),
                       ExifSegment(true, {{0x0112, 6}}));
}
