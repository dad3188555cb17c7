#include "runtime/image/codecs.h"

#include "runtime/base/thread_storage.h"
#include "runtime/image/images.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Filled during start-up only, read without a lock afterwards.
std::vector<ImageDecoder> Decoders;
std::vector<ImageEncoder> Encoders;

size_t DecodeSliceOffset = 0;
bool DecodeSliceRegistered = false;

DecodeState *ThreadDecodeState() {
    return DecodeSliceRegistered ? static_cast<DecodeState *>(ThreadSlice(DecodeSliceOffset))
                                 : nullptr;
}

// Runs the chosen decoder into the new image's memory. 24-bit rows go through a
// temporary buffer (rows padded to 4 bytes) and are widened to R, G, B, 255.
int DecodeInto(DecodeState *state, ImageRecord *record) {
    const ImageDecoder *decoder = state->decoder;
    if (state->pixelSize == 32)
        return decoder->decode(state, record->pixels, int64_t(record->width) * 4, 0);
    const size_t width = size_t(record->width), height = size_t(record->height);
    const size_t pitch = (3 * width + 3) & ~size_t(3);
    unsigned char *rows = static_cast<unsigned char *>(std::malloc(pitch * height));
    if (!rows) return 0;
    int ok = decoder->decode(state, rows, int64_t(pitch), 0);
    if (ok) {
        for (size_t y = 0; y < height; ++y) {
            const unsigned char *in = rows + y * pitch;
            unsigned char *out = record->pixels + y * width * 4;
            for (size_t x = 0; x < width; ++x, in += 3, out += 4)
                out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
        }
    }
    std::free(rows);
    return ok;
}

} // namespace

void RegisterDecodeStateSlice() {
    if (DecodeSliceRegistered) return;
    DecodeSliceOffset = RegisterThreadSlice(sizeof(DecodeState), nullptr, nullptr);
    DecodeSliceRegistered = true;
}

void RegisterImageDecoder(const ImageDecoder &decoder) {
    Decoders.push_back(decoder);
}
void RegisterImageEncoder(const ImageEncoder &encoder) {
    Encoders.push_back(encoder);
}

const ImageDecoder *FindImageDecoder(int64_t format) {
    for (const ImageDecoder &decoder : Decoders)
        if (decoder.formatTag == format) return &decoder;
    return nullptr;
}

const ImageEncoder *FindImageEncoder(int64_t format) {
    for (const ImageEncoder &encoder : Encoders)
        if (encoder.formatTag == format) return &encoder;
    return nullptr;
}

int64_t DecodeImageFromMemory(int64_t image, const void *address, int64_t size) {
    DecodeState *state = ThreadDecodeState();
    if (!state || !address || size <= 0) return 0;
    const unsigned char *start = static_cast<const unsigned char *>(address);
    // The default size is only a bound for data whose end is unknown; keep the
    // end address from wrapping round.
    uintptr_t room = UINTPTR_MAX - reinterpret_cast<uintptr_t>(start);
    const unsigned char *end = start + (uint64_t(size) < room ? size_t(size) : size_t(room));

    const ImageDecoder *chosen = nullptr;
    for (const ImageDecoder &decoder : Decoders) {
        *state = DecodeState{};
        state->address = state->cursor = start;
        state->end = end;
        if (decoder.check(state)) {
            chosen = &decoder;
            break;
        }
    }
    if (!chosen) {
        *state = DecodeState{};
        return 0;
    }
    state->decoder = chosen;
    int64_t result =
        NewDecodedImage(image, state->width, state->height, state->sourceDepth, chosen->formatTag);
    // A decode failure (damaged or cut-off data) gives no image rather than a
    // partly decoded one presented as a success.
    if (result) {
        ImageRecord *record = LookupImage(image == -1 ? result : image);
        if (!record || !DecodeInto(state, record)) {
            ReleaseImage(image == -1 ? result : image);
            result = 0;
        }
    }
    chosen->release(state);
    *state = DecodeState{};
    return result;
}

int64_t EncodeImageFile(int64_t image, const String &fileName, int64_t format, int64_t quality,
                        int64_t depth) {
    ImageRecord *record = LookupImage(image);
    if (!record || fileName.empty()) return 0;
    if (depth == -1) depth = record->sourceDepth;
    const ImageEncoder *encoder = FindImageEncoder(format);
    if (!encoder) return 0;
    const int width = record->width, height = record->height;
    if (encoder->write32 && depth == 32)
        return encoder->write32(fileName, record->pixels, width, height, int64_t(width) * 4, 0,
                                int(quality), int(depth));

    // RGB rows composited over white; rows padded to 4 bytes, sizes in size_t
    // (a 32767 x 32767 picture needs 3.2 GB here).
    const size_t pitch = (3 * size_t(width) + 3) & ~size_t(3);
    unsigned char *rows = static_cast<unsigned char *>(std::malloc(pitch * size_t(height)));
    if (!rows) return 0;
    for (size_t y = 0; y < size_t(height); ++y) {
        const unsigned char *in = record->pixels + y * size_t(width) * 4;
        unsigned char *out = rows + y * pitch;
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            const int a = in[3];
            for (int n = 0; n < 3; ++n)
                out[n] = static_cast<unsigned char>((in[n] * a + (255 - a) * 255) / 255);
        }
    }
    int64_t written = encoder->write24(fileName, rows, width, height, int64_t(pitch), 0,
                                       int(quality), int(depth));
    std::free(rows);
    return written;
}
