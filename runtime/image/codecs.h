// The decoder and encoder registries, decoding encoded pictures from memory into
// image objects and saving images to files.
//
// Registries are filled during start-up (StartImageRuntime, then RegisterPngCodec)
// before any second thread exists and are read without a lock afterwards. The
// decode state is per thread, so any thread may decode or save its own images.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// A format tag: three ASCII letters, the first in the low byte.
constexpr int32_t FormatPng = 0x474E50; // "PNG"
constexpr int32_t FormatBmp = 0x504D42; // "BMP"

// DecodeImageFromMemory's size when the caller has none: the data's own
// structure has to end the reading.
constexpr int64_t UnknownDataSize = 0x7FFFFFFF;

// What one decode needs, per thread: the memory source with its read cursor and
// what the check found. The codec keeps its own library structures in
// `codecRead` / `codecInfo`. Plain data, zeroed before every decode.
struct DecodeState {
    const struct ImageDecoder *decoder;
    const unsigned char *address;
    const unsigned char *cursor;
    const unsigned char *end; // one past the last readable byte
    int width;
    int height;
    int pixelSize;   // 24 or 32: the rows the decode routine writes
    int colourType;  // the codec's own colour type after its transforms
    int bitDepth;    // bits per sample after the transforms
    int sourceDepth; // the depth reported for the image
    int passes;      // interlace passes to read
    void *codecRead;
    void *codecInfo;
};

// Decode flag: write the bottom row first.
constexpr int DecodeBottomUp = 2;

struct ImageDecoder {
    int (*check)(DecodeState *state); // reads the header; 1 accepted, 0 not
    // Writes every row into `destination` with `pitch` bytes per row; 1 or 0.
    int (*decode)(DecodeState *state, unsigned char *destination, int64_t pitch, int flags);
    void (*release)(DecodeState *state); // frees what check and decode kept
    int32_t formatTag;
};

// An encoder entry: writes width x height rows of 3 (R, G, B) or 4 (R, G, B, A)
// bytes at `pixels`, `pitch` apart, to `fileName`. Non-zero on success; on
// failure no file is left behind.
using ImageWriter = int64_t (*)(const String &fileName, const unsigned char *pixels, int width,
                                int height, int64_t pitch, int flags, int quality, int depth);

struct ImageEncoder {
    int32_t formatTag;
    ImageWriter write24;
    ImageWriter write32; // may be null
};

void RegisterImageDecoder(const ImageDecoder &decoder);
void RegisterImageEncoder(const ImageEncoder &encoder);
// The first decoder / encoder registered for `format`, nullptr if none.
const ImageDecoder *FindImageDecoder(int64_t format);
const ImageEncoder *FindImageEncoder(int64_t format);

// Decodes `size` bytes at `address` into a new image (static number or -1).
// Answers the creation result, 0 when no decoder accepts the data or it cannot
// be decoded. Never reads outside [address, address + size).
int64_t DecodeImageFromMemory(int64_t image, const void *address, int64_t size = UnknownDataSize);

// Saves an image with the encoder of `format`. depth -1 means the image's source
// depth; 32 keeps alpha, anything else composites over white into RGB. Answers
// non-zero when the file was written; 0 for no image, an empty name, an unknown
// format (nothing touched on disk) or a failed write (no file left).
int64_t EncodeImageFile(int64_t image, const String &fileName, int64_t format, int64_t quality = 7,
                        int64_t depth = -1);

// Registers the per-thread decode state (start-up only).
void RegisterDecodeStateSlice();
// The BMP entry: accepts data starting "BM" with zero reserved words, but
// declines to decode it (the program reads BMP files through the platform).
void RegisterBmpCodec();
