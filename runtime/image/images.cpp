#include "runtime/image/images.h"

#include "runtime/base/object_table.h"
#include "runtime/image/pixel_memory.h"
#include "runtime/image/platform_image.h"
#include "runtime/image/resize.h"

#include <cstdlib>
#include <cstring>

namespace {

void ReleaseImageRecord(ImageRecord &record) {
    FreePlatformImage(record.handle);
    GivePixelMemory(record.pixels);
}

ObjectTable<ImageRecord> &Images() {
    static ObjectTable<ImageRecord> table;
    static const bool configured = [] {
        table.growthStep = 16;
        table.releaseRecord = ReleaseImageRecord;
        return true;
    }();
    (void)configured;
    return table;
}

bool ValidSide(int64_t side) {
    return side >= 1 && side <= MaxImageSide;
}

size_t ByteCount(int64_t width, int64_t height) {
    return size_t(width) * size_t(height) * 4;
}

// Pixel memory plus its platform view, or nothing: on failure whatever was made
// is freed again.
bool MakePixels(int64_t width, int64_t height, bool zeroed, unsigned char **pixels, void **handle) {
    size_t bytes = ByteCount(width, height);
    unsigned char *memory = TakePixelMemory(bytes, zeroed);
    if (!memory) return false;
    void *view = NewPlatformImage(memory, int(width), int(height));
    if (!view) {
        GivePixelMemory(memory);
        return false;
    }
    *pixels = memory;
    *handle = view;
    return true;
}

// Creates the record for `image` around memory already made. A static number's
// previous object is freed by the allocation. Answers the creation result.
int64_t InstallImage(int64_t image, unsigned char *pixels, void *handle, int64_t width,
                     int64_t height, int64_t sourceDepth, int32_t formatTag) {
    int64_t issued = 0;
    ImageRecord *record = ObjectAllocate(Images(), image, &issued);
    if (!record) {
        FreePlatformImage(handle);
        GivePixelMemory(pixels);
        return 0;
    }
    record->pixels = pixels;
    record->width = int16_t(width);
    record->height = int16_t(height);
    record->depth = 32;
    record->sourceDepth = int16_t(sourceDepth);
    record->formatTag = formatTag;
    record->handle = handle;
    return ObjectCreated(image, issued, record);
}

// Destination == source: the existing record takes the new memory, which works
// for static and automatic numbers alike (an automatic number cannot be
// allocated anew under the same value).
int64_t ReplaceImage(int64_t image, ImageRecord *record, unsigned char *pixels, void *handle,
                     int64_t width, int64_t height) {
    FreePlatformImage(record->handle);
    GivePixelMemory(record->pixels);
    record->pixels = pixels;
    record->handle = handle;
    record->width = int16_t(width);
    record->height = int16_t(height);
    record->formatTag = 0;
    bool staticNumber = image >= 0 && image <= MaxStaticObjectNumber;
    return staticNumber ? reinterpret_cast<int64_t>(handle) : image;
}

} // namespace

ImageRecord *LookupImage(int64_t image) {
    return ObjectLookup(Images(), image);
}

int64_t NewImage(int64_t image, int64_t width, int64_t height, int64_t depth, int64_t background) {
    if (!ValidSide(width) || !ValidSide(height)) return 0;
    unsigned char *pixels;
    void *handle;
    if (!MakePixels(width, height, background == -1, &pixels, &handle)) return 0;
    if (background != -1) {
        const unsigned char pixel[4] = {static_cast<unsigned char>(background & 255),
                                        static_cast<unsigned char>((background >> 8) & 255),
                                        static_cast<unsigned char>((background >> 16) & 255), 255};
        // Fill the first row pixel by pixel, then copy it to the other rows.
        size_t pitch = size_t(width) * 4;
        for (size_t n = 0; n < pitch; n += 4) std::memcpy(pixels + n, pixel, 4);
        for (int64_t y = 1; y < height; ++y) std::memcpy(pixels + size_t(y) * pitch, pixels, pitch);
    }
    return InstallImage(image, pixels, handle, width, height, depth, 0);
}

int64_t NewDecodedImage(int64_t image, int64_t width, int64_t height, int64_t sourceDepth,
                        int32_t formatTag) {
    if (!ValidSide(width) || !ValidSide(height)) return 0;
    unsigned char *pixels;
    void *handle;
    if (!MakePixels(width, height, true, &pixels, &handle)) return 0;
    return InstallImage(image, pixels, handle, width, height, sourceDepth, formatTag);
}

int64_t DuplicateImage(int64_t source, int64_t destination) {
    ImageRecord *from = LookupImage(source);
    if (!from) return 0;
    unsigned char *pixels;
    void *handle;
    if (!MakePixels(from->width, from->height, false, &pixels, &handle)) return 0;
    std::memcpy(pixels, from->pixels, ByteCount(from->width, from->height));
    if (destination == source)
        return ReplaceImage(destination, from, pixels, handle, from->width, from->height);
    return InstallImage(destination, pixels, handle, from->width, from->height, from->sourceDepth,
                        0);
}

int64_t CropImage(int64_t source, int64_t destination, int64_t x, int64_t y, int64_t width,
                  int64_t height) {
    ImageRecord *from = LookupImage(source);
    if (!from || !ValidSide(width) || !ValidSide(height)) return 0;
    unsigned char *pixels;
    void *handle;
    if (!MakePixels(width, height, true, &pixels, &handle)) return 0;
    int64_t left = x > 0 ? x : 0, top = y > 0 ? y : 0;
    int64_t copyWidth = width + (x < 0 ? x : 0), copyHeight = height + (y < 0 ? y : 0);
    if (copyWidth > from->width - left) copyWidth = from->width - left;
    if (copyHeight > from->height - top) copyHeight = from->height - top;
    if (copyWidth > 0 && copyHeight > 0) {
        const size_t sourcePitch = size_t(from->width) * 4, targetPitch = size_t(width) * 4;
        for (int64_t row = 0; row < copyHeight; ++row)
            std::memcpy(pixels + size_t(row) * targetPitch,
                        from->pixels + size_t(top + row) * sourcePitch + size_t(left) * 4,
                        size_t(copyWidth) * 4);
    }
    if (destination == source)
        return ReplaceImage(destination, from, pixels, handle, width, height);
    return InstallImage(destination, pixels, handle, width, height, from->sourceDepth, 0);
}

int64_t ReleaseImage(int64_t image) {
    if (image == -1) {
        ObjectReleaseAll(Images());
        return 1;
    }
    return ObjectRelease(Images(), image);
}

int64_t ImageExists(int64_t image) {
    return LookupImage(image) ? 1 : 0;
}

int64_t ImagePlatformHandle(int64_t image) {
    ImageRecord *record = LookupImage(image);
    return record ? reinterpret_cast<int64_t>(record->handle) : 0;
}

int64_t ImagePixelWidth(int64_t image) {
    ImageRecord *record = LookupImage(image);
    return record ? record->width : 0;
}

int64_t ImagePixelHeight(int64_t image) {
    ImageRecord *record = LookupImage(image);
    return record ? record->height : 0;
}

int64_t ImageBitDepth(int64_t image, int64_t flags) {
    ImageRecord *record = LookupImage(image);
    if (!record) return 0;
    return flags == -2 ? record->sourceDepth : record->depth;
}

int64_t ScaleImage(int64_t image, int64_t width, int64_t height, int64_t mode) {
    ImageRecord *record = LookupImage(image);
    if (!record) return 0;
    if (width == KeepImageSide) width = record->width;
    if (height == KeepImageSide) height = record->height;
    if (!ValidSide(width) || !ValidSide(height)) return 0;
    if (width == record->width && height == record->height) return 0;
    unsigned char *pixels;
    void *handle;
    if (!MakePixels(width, height, false, &pixels, &handle)) return 0;
    int ok = (mode & ScaleRaw) ? RawResize(record->pixels, record->width, record->height, pixels,
                                           int(width), int(height))
                               : SmoothResize(record->pixels, record->width, record->height, pixels,
                                              int(width), int(height));
    if (!ok) {
        FreePlatformImage(handle);
        GivePixelMemory(pixels);
        return 0;
    }
    FreePlatformImage(record->handle);
    GivePixelMemory(record->pixels);
    record->handle = handle;
    record->pixels = pixels;
    record->width = int16_t(width);
    record->height = int16_t(height);
    return 1;
}
