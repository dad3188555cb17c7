#include "runtime/image/canvas_bitmap.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Installed once by the toolkit at start-up, before any canvas is drawn.
CanvasBitmapOf ResolveBitmap = nullptr;
CanvasRedisplay ResolveRedisplay = nullptr;

unsigned char *WhitePixels(int width, int height) {
    size_t bytes = size_t(width) * size_t(height) * 4;
    unsigned char *pixels = static_cast<unsigned char *>(std::malloc(bytes));
    if (pixels) std::memset(pixels, 0xFF, bytes);
    return pixels;
}

} // namespace

CanvasBitmap *NewCanvasBitmap(int width, int height) {
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    CanvasBitmap *bitmap = new (std::nothrow) CanvasBitmap;
    if (!bitmap) return nullptr;
    bitmap->pixels = WhitePixels(width, height);
    if (!bitmap->pixels) {
        delete bitmap;
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    return bitmap;
}

int ResizeCanvasBitmap(CanvasBitmap *bitmap, int width, int height) {
    if (!bitmap) return 0;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    unsigned char *pixels = WhitePixels(width, height);
    if (!pixels) return 0;
    int keepWidth = width < bitmap->width ? width : bitmap->width;
    int keepHeight = height < bitmap->height ? height : bitmap->height;
    for (int y = 0; y < keepHeight; ++y)
        std::memcpy(pixels + size_t(y) * size_t(width) * 4,
                    bitmap->pixels + size_t(y) * size_t(bitmap->width) * 4, size_t(keepWidth) * 4);
    std::free(bitmap->pixels);
    bitmap->pixels = pixels;
    bitmap->width = width;
    bitmap->height = height;
    return 1;
}

void FreeCanvasBitmap(CanvasBitmap *bitmap) {
    if (!bitmap) return;
    std::free(bitmap->pixels);
    delete bitmap;
}

void SetCanvasResolver(CanvasBitmapOf bitmapOf, CanvasRedisplay redisplay) {
    ResolveBitmap = bitmapOf;
    ResolveRedisplay = redisplay;
}

CanvasBitmap *CanvasBitmapOfGadget(int64_t gadget) {
    return ResolveBitmap ? ResolveBitmap(gadget) : nullptr;
}

void RedisplayCanvasGadget(int64_t gadget) {
    if (ResolveRedisplay) ResolveRedisplay(gadget);
}
