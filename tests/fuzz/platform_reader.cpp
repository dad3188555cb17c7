// The platform picture reader on any file contents. The file has no extension, so
// the installed Qt image plug-ins decide from the bytes which of them reads it.
// A picture that was read is also drawn, scaled into a small buffer, as the
// loaders do; drawing must succeed for every picture the reader hands out. The
// file is then opened again and, when its stated size is small enough for the
// run, read at its own size as the loaders read pictures that need no scaling.
#include "runtime/image/platform_reader.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string FilePath;
String FileName;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    FilePath = FuzzScratchFolder() + "input";
    FileName = StringFromUtf8(FilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    WriteWholeFile(FilePath, data, size);
    PlatformPicture *picture = ReadPlatformPicture(FileName);
    if (!picture) return 0;
    const int64_t width = PlatformPictureWidth(picture), height = PlatformPictureHeight(picture);
    FUZZ_CHECK(width >= 1 && height >= 1);
    // Drawn at up to 16 x 16, keeping very thin pictures at least one pixel across.
    const int64_t w = width < 16 ? width : 16, h = height < 16 ? height : 16;
    std::vector<unsigned char> pixels(size_t(w * h * 4));
    FUZZ_CHECK(DrawPlatformPicture(picture, pixels.data(), w, h, w * 4) == 1);
    FreePlatformPicture(picture);

    picture = OpenPlatformPicture(FileName);
    if (!picture) return 0;
    const int64_t W = PlatformPictureWidth(picture), H = PlatformPictureHeight(picture);
    if (W >= 1 && H >= 1 && W * H <= 4096 * 4096) {
        std::vector<unsigned char> whole(size_t(W * H * 4));
        ReadPlatformPictureInto(picture, whole.data(), W, H, W * 4);
    }
    FreePlatformPicture(picture);
    return 0;
}
