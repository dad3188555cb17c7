// Numbered image objects and their pixel memory.
//
// Every image holds 4 bytes per pixel in the order R, G, B, A with straight
// (not premultiplied) alpha, top row first, pitch exactly width x 4, at most
// 32767 pixels per side. Its platform handle is a view of that same memory that
// the toolkit can display (made by the platform file, opaque here).
//
// Image numbers follow the object-table convention: 0 up is a static number
// chosen by the caller, -1 asks for an automatic number. Creation calls answer
// the platform handle for a static number, the automatic number for -1, and 0 on
// failure (no record left behind). Every call validates the number it is given,
// so a number never issued or already released is refused.
//
// Callable from any thread; the table is locked only inside one lookup,
// allocation or release. Two threads must not use the same image at once.
#pragma once

#include <cstdint>

constexpr int64_t MaxImageSide = 32767;
// ScaleImage: a dimension given as this keeps its current value.
constexpr int64_t KeepImageSide = -65535;
// ScaleImage mode bit: nearest pixel instead of the smooth filter.
constexpr int64_t ScaleRaw = 2;

struct ImageRecord {
    void *handle = nullptr;          // platform image; non-null while the image lives
    unsigned char *pixels = nullptr; // pixel memory, owned by the record
    int16_t width = 0;
    int16_t height = 0;
    int16_t depth = 0;       // always 32: the in-memory format
    int16_t sourceDepth = 0; // the depth the picture had at its source
    int32_t formatTag = 0;   // tag of the decoder that produced it, 0 when created
};

// A new image, every pixel R, G, B from `background` and A = 255; background -1
// makes every byte 0 (fully transparent). Source depth = depth.
int64_t NewImage(int64_t image, int64_t width, int64_t height, int64_t depth = 24,
                 int64_t background = 0);

// Like NewImage but with zeroed pixels and the given format tag: for decoders,
// which write every pixel themselves.
int64_t NewDecodedImage(int64_t image, int64_t width, int64_t height, int64_t sourceDepth,
                        int32_t formatTag);

// A byte copy of `source` under `destination` (source depth copied).
int64_t DuplicateImage(int64_t source, int64_t destination);

// A width x height image holding the rectangle (x, y, width, height) of
// `source`, clipped to the source and copied to the new image's top-left
// corner; pixels outside the source are transparent black. Destination equal to
// source replaces the source object.
int64_t CropImage(int64_t source, int64_t destination, int64_t x, int64_t y, int64_t width,
                  int64_t height);

// Frees one image; -1 frees every image. Answers 1 if something was freed.
int64_t ReleaseImage(int64_t image);

int64_t ImageExists(int64_t image);
// The platform image (a QImage* over the pixel memory, Format_RGBA8888), 0 if none.
int64_t ImagePlatformHandle(int64_t image);
int64_t ImagePixelWidth(int64_t image);
int64_t ImagePixelHeight(int64_t image);
// flags -2: the source depth; anything else: 32. 0 if the image does not exist.
int64_t ImageBitDepth(int64_t image, int64_t flags);

// Resizes in place to width x height (KeepImageSide keeps a dimension). Mode bit
// ScaleRaw picks the nearest pixel, otherwise the smooth cubic filter. Answers 1
// when resized, 0 when the image does not exist, the size is already the
// requested one or is out of range, or memory runs out (image unchanged).
int64_t ScaleImage(int64_t image, int64_t width, int64_t height, int64_t mode = 0);

// The live record of an image for the other parts of the image runtime and the
// loaders, or nullptr. The record stays valid until the image is released.
ImageRecord *LookupImage(int64_t image);
