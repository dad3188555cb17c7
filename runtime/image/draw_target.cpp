#include "runtime/image/draw_target.h"

#include "runtime/base/thread_storage.h"
#include "runtime/image/canvas_bitmap.h"
#include "runtime/image/images.h"
#include "runtime/image/platform_image.h"

#include <cstring>

namespace {

enum TargetKind { TargetNone = 0, TargetImage = 1, TargetCanvas = 2 };

// The calling thread's output, kept in its thread slice (plain data, zeroed
// when the thread's block is made).
struct DrawTarget {
    int kind;
    int open;
    int width;
    int height;
    unsigned char *pixels;
    int64_t pitch;
    int64_t layout;
    int bytesPerPixel;
    int64_t mode;
    int64_t source; // image number or canvas gadget number
};

size_t SliceOffset = 0;
bool SliceRegistered = false;

DrawTarget *ThreadTarget() {
    return SliceRegistered ? static_cast<DrawTarget *>(ThreadSlice(SliceOffset)) : nullptr;
}

// The current open output, or nullptr.
DrawTarget *Open() {
    DrawTarget *target = ThreadTarget();
    return target && target->open ? target : nullptr;
}

int64_t Prepare(int kind, int64_t source, unsigned char *pixels, int width, int height) {
    DrawTarget *target = ThreadTarget();
    if (!target) return 0;
    *target = DrawTarget{};
    if (!pixels) return 0;
    target->kind = kind;
    target->source = source;
    target->pixels = pixels;
    target->width = width;
    target->height = height;
    target->pitch = int64_t(width) * 4;
    target->layout = LayoutRgba;
    target->bytesPerPixel = 4;
    return 1;
}

// How one pixel is written, decided once per call from the mode flags.
enum PixelOp { OpRgb, OpXor, OpAlphaOnly, OpBlend, OpBlendKeepAlpha, OpCopyAll };

PixelOp OpFor(int64_t mode) {
    if (mode & DrawCopyAll) return OpCopyAll;
    if (mode & DrawBlend) return OpBlend;
    if (mode & DrawAlphaClip) return OpBlendKeepAlpha;
    if (mode & DrawAlphaOnly) return OpAlphaOnly;
    if (mode & DrawXor) return OpXor;
    return OpRgb;
}

inline unsigned char ScaledAlpha(unsigned char alpha, int global) {
    return global == 255 ? alpha : static_cast<unsigned char>(global * alpha / 255);
}

inline void WritePixel(PixelOp op, unsigned char *dest, const unsigned char *source, int global) {
    switch (op) {
    case OpRgb:
        dest[0] = source[0], dest[1] = source[1], dest[2] = source[2];
        break;
    case OpXor:
        dest[0] ^= source[0], dest[1] ^= source[1], dest[2] ^= source[2];
        break;
    case OpAlphaOnly:
        dest[3] = ScaledAlpha(source[3], global);
        break;
    case OpBlend:
        BlendPixel(dest, source, global, false);
        break;
    case OpBlendKeepAlpha:
        BlendPixel(dest, source, global, true);
        break;
    case OpCopyAll:
        dest[0] = source[0], dest[1] = source[1], dest[2] = source[2];
        dest[3] = ScaledAlpha(source[3], global);
        break;
    }
}

void ColourBytes(int64_t colour, unsigned char bytes[4]) {
    for (int n = 0; n < 4; ++n) bytes[n] = static_cast<unsigned char>((colour >> (8 * n)) & 255);
}

// One clipped horizontal span [x0, x1) of row y.
void Span(DrawTarget &target, PixelOp op, int64_t x0, int64_t x1, int64_t y,
          const unsigned char colour[4]) {
    unsigned char *p = target.pixels + y * target.pitch + x0 * 4;
    for (int64_t x = x0; x < x1; ++x, p += 4) WritePixel(op, p, colour, 255);
}

void Plot(DrawTarget &target, PixelOp op, int64_t x, int64_t y, const unsigned char colour[4]) {
    if (x < 0 || y < 0 || x >= target.width || y >= target.height) return;
    WritePixel(op, target.pixels + y * target.pitch + x * 4, colour, 255);
}

void Blit(int64_t image, int64_t x, int64_t y, bool blended) {
    DrawTarget *target = Open();
    ImageRecord *source = LookupImage(image);
    if (!target || !source) return;
    PixelOp op = OpFor(target->mode);
    if (blended && op == OpRgb) op = OpBlend;
    int64_t left = x < 0 ? -x : 0, top = y < 0 ? -y : 0;
    int64_t right = source->width, bottom = source->height;
    if (x + right > target->width) right = target->width - x;
    if (y + bottom > target->height) bottom = target->height - y;
    const size_t sourcePitch = size_t(source->width) * 4;
    for (int64_t row = top; row < bottom; ++row) {
        const unsigned char *in = source->pixels + size_t(row) * sourcePitch + size_t(left) * 4;
        unsigned char *out = target->pixels + (y + row) * target->pitch + (x + left) * 4;
        for (int64_t col = left; col < right; ++col, in += 4, out += 4)
            WritePixel(op, out, in, 255);
    }
}

} // namespace

void RegisterDrawTargetSlice() {
    if (SliceRegistered) return;
    SliceOffset = RegisterThreadSlice(sizeof(DrawTarget), nullptr, nullptr);
    SliceRegistered = true;
}

int64_t ImageTarget(int64_t image) {
    ImageRecord *record = LookupImage(image);
    if (!record) {
        if (DrawTarget *target = ThreadTarget()) *target = DrawTarget{};
        return 0;
    }
    return Prepare(TargetImage, image, record->pixels, record->width, record->height);
}

int64_t CanvasTarget(int64_t gadget) {
    CanvasBitmap *bitmap = CanvasBitmapOfGadget(gadget);
    if (!bitmap) {
        if (DrawTarget *target = ThreadTarget()) *target = DrawTarget{};
        return 0;
    }
    return Prepare(TargetCanvas, gadget, bitmap->pixels, bitmap->width, bitmap->height);
}

int64_t OpenDrawTarget(int64_t output) {
    DrawTarget *target = ThreadTarget();
    if (!target) return 0;
    if (!output || target->kind == TargetNone) {
        *target = DrawTarget{};
        return 0;
    }
    target->open = 1;
    return reinterpret_cast<int64_t>(target->pixels);
}

void CloseDrawTarget() {
    DrawTarget *target = ThreadTarget();
    if (!target) return;
    if (target->open && target->kind == TargetImage) {
        if (ImageRecord *record = LookupImage(target->source)) TouchPlatformImage(record->handle);
    } else if (target->open && target->kind == TargetCanvas) {
        RedisplayCanvasGadget(target->source);
    }
    *target = DrawTarget{};
}

int64_t TargetWidth() {
    DrawTarget *target = Open();
    return target ? target->width : 0;
}

int64_t TargetHeight() {
    DrawTarget *target = Open();
    return target ? target->height : 0;
}

unsigned char *TargetPixels() {
    DrawTarget *target = Open();
    return target ? target->pixels : nullptr;
}

int64_t TargetPitch() {
    DrawTarget *target = Open();
    return target ? target->pitch : 0;
}

int64_t TargetLayout() {
    DrawTarget *target = Open();
    return target ? target->layout : 0;
}

void SetDrawMode(int64_t mode) {
    if (DrawTarget *target = Open()) target->mode = mode;
}

void BlendPixel(unsigned char *dest, const unsigned char *source, int global, bool keepAlpha) {
    int a = global == 255 ? source[3] : global * source[3] / 255;
    if (a == 0) return;
    if (dest[3] == 0) {
        dest[0] = source[0], dest[1] = source[1], dest[2] = source[2];
        if (!keepAlpha) dest[3] = static_cast<unsigned char>(a);
        return;
    }
    int ws = a * 255, wd = (255 - a) * dest[3];
    for (int n = 0; n < 3; ++n)
        dest[n] = static_cast<unsigned char>((source[n] * ws + dest[n] * wd) / (ws + wd));
    if (!keepAlpha) dest[3] = static_cast<unsigned char>((ws + wd) / 255);
}

void FillRect(int64_t x, int64_t y, int64_t width, int64_t height, int64_t colour) {
    DrawTarget *target = Open();
    if (!target) return;
    if (width < 0) x += width, width = -width;
    if (height < 0) y += height, height = -height;
    int64_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    int64_t x1 = x + width > target->width ? target->width : x + width;
    int64_t y1 = y + height > target->height ? target->height : y + height;
    if (x0 >= x1 || y0 >= y1) return;
    unsigned char bytes[4];
    ColourBytes(colour, bytes);
    PixelOp op = OpFor(target->mode);
    if (!(target->mode & DrawOutline)) {
        for (int64_t row = y0; row < y1; ++row) Span(*target, op, x0, x1, row, bytes);
        return;
    }
    // The outline of the unclipped box: its edges are drawn only where they lie
    // inside the output.
    int64_t right = x + width - 1, bottom = y + height - 1;
    if (y >= y0 && y < y1) Span(*target, op, x0, x1, y, bytes);
    if (bottom != y && bottom >= y0 && bottom < y1) Span(*target, op, x0, x1, bottom, bytes);
    for (int64_t row = (y + 1 > y0 ? y + 1 : y0); row < (bottom < y1 ? bottom : y1); ++row) {
        if (x >= x0 && x < x1) Span(*target, op, x, x + 1, row, bytes);
        if (right != x && right >= x0 && right < x1)
            Span(*target, op, right, right + 1, row, bytes);
    }
}

void DrawSegment(int64_t x, int64_t y, int64_t width, int64_t height, int64_t colour) {
    DrawTarget *target = Open();
    if (!target || width == 0 || height == 0) return;
    int64_t x1 = x + (width > 0 ? width - 1 : width + 1);
    int64_t y1 = y + (height > 0 ? height - 1 : height + 1);
    unsigned char bytes[4];
    ColourBytes(colour, bytes);
    PixelOp op = OpFor(target->mode);
    // Bresenham: every step moves one pixel along the longer axis.
    int64_t dx = x1 > x ? x1 - x : x - x1, dy = y1 > y ? y1 - y : y - y1;
    int64_t stepX = x1 > x ? 1 : -1, stepY = y1 > y ? 1 : -1;
    int64_t error = dx - dy;
    for (;;) {
        Plot(*target, op, x, y, bytes);
        if (x == x1 && y == y1) break;
        int64_t twice = 2 * error;
        if (twice > -dy) error -= dy, x += stepX;
        if (twice < dx) error += dx, y += stepY;
    }
}

int64_t ReadPixel(int64_t x, int64_t y) {
    DrawTarget *target = Open();
    if (!target || x < 0 || y < 0 || x >= target->width || y >= target->height) return 0;
    const unsigned char *p = target->pixels + y * target->pitch + x * 4;
    int64_t colour = PackRgb(p[0], p[1], p[2]);
    if (target->mode & (DrawAlphaOnly | DrawBlend | DrawAlphaClip | DrawCopyAll))
        colour += int64_t(p[3]) << 24;
    return colour;
}

void BlitImage(int64_t image, int64_t x, int64_t y) {
    Blit(image, x, y, false);
}

void BlitImageBlended(int64_t image, int64_t x, int64_t y) {
    Blit(image, x, y, true);
}
