// The helper of bench/peers: makes the test photographs, the tone's lookup
// tables in the forms the other tools read, and times nothing itself. It also
// does the floor of each comparison: the TurboJPEG decode + encode (or the libpng
// decode + zlib encode, or the libheif or LibRaw decode + TurboJPEG encode) of the
// same picture with no toning, on one core.
//   peers_harness photo W H jpg|png OUT [seed]
//   peers_harness luts ROW OUT256.png HALD.png
//   peers_harness floor-jpeg IN OUT [BOX]
//   peers_harness floor-png IN OUT
//   peers_harness floor-heic IN OUT BOX
//   peers_harness floor-raw IN OUT full|half
#include "tone/colour_table.h"
#include "tone/kernels.h"
#include "tone/luma_tables.h"
#include "tone/presets.h"

#include <libheif/heif.h>
#include <libraw/libraw.h>
#include <omp.h>
#include <png.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadFile(const char *path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool WriteFile(const char *path, const unsigned char *bytes, size_t size) {
    std::FILE *f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Rows of RGBA (or RGB) written by libpng: level 3, the Sub filter, filtered
// strategy, as the program writes.
bool WritePng(const char *path, const unsigned char *pixels, int w, int h, int channels,
              int level) {
    std::FILE *f = std::fopen(path, "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, level);
    png_set_compression_strategy(png, Z_FILTERED);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int y = 0; y < h; y++) png_write_row(png, pixels + size_t(y) * w * channels);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

// A camera-like picture: a lit scene with soft shapes, edges and sensor grain.
Bytes Photo(int w, int h, int channels, unsigned seed) {
    Bytes pixels(size_t(w) * h * channels);
    std::minstd_rand noise(seed);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned char *p = &pixels[(size_t(y) * w + x) * channels];
            double u = double(x) / w, v = double(y) / h;
            double light = 0.85 - 0.6 * ((u - 0.45) * (u - 0.45) + (v - 0.4) * (v - 0.4));
            bool disc = (u - 0.3) * (u - 0.3) * 2.2 + (v - 0.6) * (v - 0.6) < 0.04;
            bool bar = u > 0.6 && u < 0.75 && v > 0.15;
            double r = light * (disc  ? 0.9
                                : bar ? 0.35
                                      : 0.7),
                   g = light * (disc ? 0.5 : 0.65), b = light * (bar ? 0.8 : 0.45);
            int grain = int(noise() % 13) - 6;
            p[0] = (unsigned char)std::clamp(int(r * 255) + grain, 0, 255);
            p[1] = (unsigned char)std::clamp(int(g * 255) + grain, 0, 255);
            p[2] = (unsigned char)std::clamp(int(b * 255) + grain, 0, 255);
            if (channels == 4) p[3] = (unsigned char)(disc ? 160 : 255);
        }
    return pixels;
}

int MakePhoto(int w, int h, const std::string &kind, const char *out, unsigned seed) {
    if (kind == "png") {
        Bytes rgba = Photo(w, h, 4, seed);
        return WritePng(out, rgba.data(), w, h, 4, 6) ? 0 : 1;
    }
    Bytes rgb = Photo(w, h, 3, seed);
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    int result =
        tjCompress2(handle, rgb.data(), w, w * 3, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, 92, 0);
    bool ok = result == 0 && WriteFile(out, jpeg, size);
    tjFree(jpeg);
    tjDestroy(handle);
    return ok ? 0 : 1;
}

// The tone of preset `row` as a 256 x 1 grey-to-colour table (for -clut and
// maplut) and as a level-8 HALD image (512 x 512, for -hald-clut): each entry is
// what the program makes of that colour.
int MakeLuts(int row, const char *lut256, const char *hald) {
    BuildLumaTables();
    if (!ChoosePreset(row)) return 1;
    Bytes grey(256 * 4);
    for (int g = 0; g < 256; g++) grey[g * 4] = grey[g * 4 + 1] = grey[g * 4 + 2] = uint8_t(g);
    LuminanceAndTone(grey.data(), 256 * 4, 1, 0x20, 0);
    Bytes rgb(256 * 3);
    for (int g = 0; g < 256; g++) std::memcpy(&rgb[g * 3], &grey[g * 4], 3);
    if (!WritePng(lut256, rgb.data(), 256, 1, 3, 6)) return 1;
    // HALD level 8: 64 steps a channel, red fastest, then green, then blue.
    const int side = 512, steps = 64;
    Bytes cube(size_t(side) * side * 4);
    for (int i = 0; i < side * side; i++) {
        int r = i % steps, g = (i / steps) % steps, b = i / (steps * steps);
        cube[i * 4] = uint8_t(r * 255 / (steps - 1));
        cube[i * 4 + 1] = uint8_t(g * 255 / (steps - 1));
        cube[i * 4 + 2] = uint8_t(b * 255 / (steps - 1));
    }
    LuminanceAndTone(cube.data(), side * 4, side, 0x20, 0);
    Bytes cubeRgb(size_t(side) * side * 3);
    for (int i = 0; i < side * side; i++) std::memcpy(&cubeRgb[i * 3], &cube[i * 4], 3);
    return WritePng(hald, cubeRgb.data(), side, side, 3, 6) ? 0 : 1;
}

// The output every JPEG floor writes: q95 4:4:4 with the accurate DCT, as the
// program writes.
bool WriteFloorJpeg(const char *out, const unsigned char *pixels, int w, int h, int pitch,
                    int format) {
    tjhandle encoder = tjInitCompress();
    unsigned char *encoded = nullptr;
    unsigned long size = 0;
    bool ok = tjCompress2(encoder, pixels, w, pitch, h, format, &encoded, &size, TJSAMP_444, 95,
                          TJFLAG_ACCURATEDCT) == 0 &&
              WriteFile(out, encoded, size);
    tjFree(encoded);
    tjDestroy(encoder);
    return ok;
}

// Decode (at the smallest TurboJPEG scale that still covers the box) and encode,
// with no toning.
int FloorJpeg(const char *in, const char *out, int box) {
    Bytes jpeg = ReadFile(in);
    tjhandle decoder = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    if (tjDecompressHeader3(decoder, jpeg.data(), jpeg.size(), &w, &h, &sub, &space) != 0) return 1;
    int sw = w, sh = h;
    if (box > 0 && (w > box || h > box)) {
        int count = 0;
        tjscalingfactor *factors = tjGetScalingFactors(&count);
        for (int i = 0; i < count; i++) {
            int fw = TJSCALED(w, factors[i]), fh = TJSCALED(h, factors[i]);
            bool covers = std::max(fw, fh) >= box;
            if (covers && fw * fh < sw * sh) sw = fw, sh = fh;
        }
    }
    Bytes pixels(size_t(sw) * sh * 4);
    bool ok = tjDecompress2(decoder, jpeg.data(), jpeg.size(), pixels.data(), sw, sw * 4, sh,
                            TJPF_RGBX, TJFLAG_ACCURATEDCT) == 0 &&
              WriteFloorJpeg(out, pixels.data(), sw, sh, sw * 4, TJPF_RGBX);
    tjDestroy(decoder);
    return ok ? 0 : 1;
}

// libheif decode of the primary picture (turned as the file says) to 8-bit RGB,
// brought into the box by libheif's own scaling (nearest neighbour: the cheapest
// reduction the library offers, as the DCT scaling is TurboJPEG's), and encoded.
// libheif decodes a grid's tiles on the calling thread only.
int FloorHeic(const char *in, const char *out, int box) {
    heif_context *context = heif_context_alloc();
    heif_context_set_max_decoding_threads(context, 0);
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr, *scaled = nullptr;
    bool ok =
        heif_context_read_from_file(context, in, nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
                .code == heif_error_Ok;
    if (ok) {
        int w = heif_image_get_width(image, heif_channel_interleaved);
        int h = heif_image_get_height(image, heif_channel_interleaved);
        heif_image *shown = image;
        if (box > 0 && (w > box || h > box)) {
            double scale = double(box) / std::max(w, h);
            int sw = std::max(1, int(w * scale + 0.5)), sh = std::max(1, int(h * scale + 0.5));
            ok = heif_image_scale_image(image, &scaled, sw, sh, nullptr).code == heif_error_Ok;
            shown = scaled;
        }
        int stride = 0;
        const uint8_t *rows =
            ok ? heif_image_get_plane_readonly(shown, heif_channel_interleaved, &stride) : nullptr;
        ok = rows && WriteFloorJpeg(
                         out, rows, heif_image_get_width(shown, heif_channel_interleaved),
                         heif_image_get_height(shown, heif_channel_interleaved), stride, TJPF_RGB);
    }
    if (scaled) heif_image_release(scaled);
    if (image) heif_image_release(image);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(context);
    return ok ? 0 : 1;
}

// LibRaw open, unpack and dcraw_process with the camera's white balance into
// 8-bit sRGB, at full size or at half (one pixel a 2 x 2 Bayer block, no
// demosaicing), and encoded. LibRaw's OpenMP loops are held to one thread.
int FloorRaw(const char *in, const char *out, bool half) {
    omp_set_num_threads(1);
    auto raw = std::make_unique<LibRaw>();
    libraw_output_params_t &params = raw->imgdata.params;
    params.use_camera_wb = 1;
    params.output_color = 1; // sRGB
    params.output_bps = 8;
    params.half_size = half ? 1 : 0;
    if (raw->open_file(in) != LIBRAW_SUCCESS || raw->unpack() != LIBRAW_SUCCESS ||
        raw->dcraw_process() != LIBRAW_SUCCESS)
        return 1;
    int error = 0;
    libraw_processed_image_t *image = raw->dcraw_make_mem_image(&error);
    bool ok =
        image && image->type == LIBRAW_IMAGE_BITMAP && image->colors == 3 && image->bits == 8 &&
        WriteFloorJpeg(out, image->data, image->width, image->height, image->width * 3, TJPF_RGB);
    LibRaw::dcraw_clear_mem(image);
    return ok ? 0 : 1;
}

// libpng decode to RGBA and a level-3, Sub-filtered write.
int FloorPng(const char *in, const char *out) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, in)) return 1;
    image.format = PNG_FORMAT_RGBA;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return 1;
    return WritePng(out, pixels.data(), int(image.width), int(image.height), 4, 3) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "photo" && argc >= 6)
        return MakePhoto(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5],
                         argc > 6 ? unsigned(std::atoi(argv[6])) : 1u);
    if (command == "luts" && argc == 5) return MakeLuts(std::atoi(argv[2]), argv[3], argv[4]);
    if (command == "floor-jpeg" && argc >= 4)
        return FloorJpeg(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 0);
    if (command == "floor-png" && argc == 4) return FloorPng(argv[2], argv[3]);
    if (command == "floor-heic" && argc == 5)
        return FloorHeic(argv[2], argv[3], std::atoi(argv[4]));
    if (command == "floor-raw" && argc == 5 &&
        (std::strcmp(argv[4], "full") == 0 || std::strcmp(argv[4], "half") == 0))
        return FloorRaw(argv[2], argv[3], std::strcmp(argv[4], "half") == 0);
    std::fprintf(stderr, "usage: see the head of bench/peers_harness.cpp\n");
    return 2;
}
