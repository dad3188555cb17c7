// The PNG decoder and encoder on libpng. libpng reports errors by longjmp, so
// each entry point that calls it catches the jump in one plain function that
// holds no object with a destructor; the C++ callers around it do the rest.
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/codecs.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

// Failures are reported by the answer only; libpng's messages are not printed.
void QuietError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void QuietWarning(png_structp, png_const_charp) {}

// Ancillary chunks of any length that no transform here reads (texts, colour
// profile, palettes and calibrations, EXIF), as libpng lists chunk names: four
// letters and a zero each.
const png_byte UnusedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0pCAL\0sCAL\0eXIf";

// Reads from the decode state's memory block. A request that goes past the end
// of the block is an error: libpng must never get a partly filled buffer.
void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
    DecodeState *state = static_cast<DecodeState *>(png_get_io_ptr(png));
    if (length > size_t(state->end - state->cursor)) png_error(png, "unexpected end of data");
    std::memcpy(out, state->cursor, length);
    state->cursor += length;
}

void PngRelease(DecodeState *state) {
    png_structp png = static_cast<png_structp>(state->codecRead);
    png_infop info = static_cast<png_infop>(state->codecInfo);
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    state->codecRead = nullptr;
    state->codecInfo = nullptr;
}

// Reads the header and sets up every transform before the single info update
// libpng allows: tRNS to alpha, low grey depths to 8 bits, palette and grey to
// RGB, 16 bits to 8 (the high byte is kept), interlace passes. Rows then come
// out as 8-bit RGB or RGBA.
int PngCheck(DecodeState *state) {
    if (state->end - state->cursor < 8 || png_sig_cmp(state->cursor, 0, 8) != 0) return 0;
    state->cursor += 8;
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
    if (!png) return 0;
    state->codecRead = png;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        PngRelease(state);
        return 0;
    }
    state->codecInfo = info;
    if (setjmp(png_jmpbuf(png))) {
        PngRelease(state);
        return 0;
    }
    png_set_read_fn(png, state, ReadFromMemory);
    png_set_sig_bytes(png, 8);
    // Larger sides cannot be held by an image; refuse them before any row is read.
    png_set_user_limits(png, png_uint_32(MaxImageSide), png_uint_32(MaxImageSide));
    // libpng allocates the declared length of these chunks before reading them,
    // so a few bytes claiming a 1 GiB text chunk would cost 1 GiB even though
    // the data ends long before. The decoder uses none of them: they are skipped
    // unread, as unknown chunks are.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, UnusedChunks,
                                int(sizeof UnusedChunks / 5));
    png_read_info(png, info);

    png_uint_32 width, height;
    int bitDepth, colourType;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    // The depth reported for the image follows the colour type once tRNS has
    // become an alpha channel: grey kinds and palettes without tRNS keep their
    // bit depth, RGB is 24, anything with colour and alpha is 32. Turning tRNS
    // into alpha also widens grey below 8 bits to 8.
    int alphaType = colourType;
    int greyDepth = bitDepth;
    if (transparent && colourType == PNG_COLOR_TYPE_GRAY) {
        alphaType = PNG_COLOR_TYPE_GRAY_ALPHA;
        if (greyDepth < 8) greyDepth = 8;
    }
    if (transparent && (colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_PALETTE))
        alphaType = PNG_COLOR_TYPE_RGB_ALPHA;
    if (alphaType == PNG_COLOR_TYPE_RGB)
        state->sourceDepth = 24;
    else if (alphaType == PNG_COLOR_TYPE_RGB_ALPHA)
        state->sourceDepth = 32;
    else
        state->sourceDepth = greyDepth;

    if (transparent) png_set_tRNS_to_alpha(png);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    if (bitDepth == 16) png_set_strip_16(png);
    state->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    state->width = int(width);
    state->height = int(height);
    state->bitDepth = bitDepth;
    state->colourType = colourType;
    state->pixelSize = colourType == PNG_COLOR_TYPE_RGB ? 24 : 32;
    // Rows must be exactly what the destination rows hold.
    if (bitDepth != 8 ||
        png_get_rowbytes(png, info) != size_t(width) * size_t(state->pixelSize / 8))
        png_error(png, "unexpected row layout");
    return 1;
}

int PngDecode(DecodeState *state, unsigned char *destination, int64_t pitch, int flags) {
    png_structp png = static_cast<png_structp>(state->codecRead);
    if (!png) return 0;
    if (setjmp(png_jmpbuf(png))) return 0;
    const int height = state->height;
    for (int pass = 0; pass < state->passes; ++pass) {
        for (int row = 0; row < height; ++row) {
            int64_t at = (flags & DecodeBottomUp) ? height - 1 - row : row;
            png_read_row(png, destination + at * pitch, nullptr);
        }
    }
    return 1;
}

// Writes the rows as an 8-bit PNG of `colourType`: no filtering, deflate level 9.
// 1 on success, 0 after any libpng error (write errors included).
int WritePngRows(FILE *file, const unsigned char *pixels, int width, int height, int64_t pitch,
                 int flags, int colourType) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_init_io(png, file);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row) {
        int64_t at = (flags & DecodeBottomUp) ? height - 1 - row : row;
        png_write_row(png, pixels + at * pitch);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 1;
}

// Opens the file, writes, closes; any failure (libpng error, short write, close
// error) deletes the file again. Only a regular file is deleted, never a device
// or anything else the name might have pointed at.
int64_t WritePngFile(const String &fileName, const unsigned char *pixels, int width, int height,
                     int64_t pitch, int flags, int colourType) {
    if (fileName.empty()) return 0;
    FILE *file = std::fopen(Utf8Of(fileName).c_str(), "wb");
    if (!file) return 0;
    struct stat info;
    const bool regular = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
    int ok = WritePngRows(file, pixels, width, height, pitch, flags, colourType);
    if (std::fclose(file) != 0) ok = 0;
    if (!ok && regular) RemoveFile(fileName);
    return ok;
}

// Palette output for depths 1..8 would need a colour quantiser, which nothing
// here uses; every depth is written as 8-bit RGB or RGBA.
int64_t WritePng24(const String &fileName, const unsigned char *pixels, int width, int height,
                   int64_t pitch, int flags, int, int) {
    return WritePngFile(fileName, pixels, width, height, pitch, flags, PNG_COLOR_TYPE_RGB);
}

int64_t WritePng32(const String &fileName, const unsigned char *pixels, int width, int height,
                   int64_t pitch, int flags, int, int) {
    return WritePngFile(fileName, pixels, width, height, pitch, flags, PNG_COLOR_TYPE_RGB_ALPHA);
}

} // namespace

void RegisterPngCodec() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    RegisterImageDecoder({PngCheck, PngDecode, PngRelease, FormatPng});
    RegisterImageEncoder({FormatPng, WritePng24, WritePng32});
}
