// DecodeImageFromMemory on any bytes with their exact size: the registered
// decoders (PNG, and BMP, which only checks) must read nothing outside the block.
// A decoded picture has a size of at least one pixel, within what an image holds.
#include "runtime/base/base_runtime.h"
#include "runtime/image/codecs.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    StartImageRuntime();
    RegisterPngCodec();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int64_t image = DecodeImageFromMemory(-1, data, int64_t(size));
    if (!image) return 0;
    const int64_t width = ImagePixelWidth(image), height = ImagePixelHeight(image);
    FUZZ_CHECK(width >= 1 && width <= 32767);
    FUZZ_CHECK(height >= 1 && height <= 32767);
    ReleaseImage(image);
    return 0;
}
