// LoadJpegScaled on any file contents: the header read and the decode of whatever
// TurboJPEG accepts. The loader reads from a path through the program's own file
// layer, so each input is written to a file in a memory-backed folder first.
//
// The box comes from the last byte (16 to 128 pixels a side), which in a JPEG is
// the end marker and matters little to the decoder; small boxes keep every
// decode quick. What must hold for a loaded picture: it fits the box as shown
// upright (sides swapped for orientations 5 to 8), and the orientation reported
// is the one ReadJpegOrientation finds in the same bytes.
//
// Files whose header declares more than 64 megapixels are left out: the loader
// accepts a truncated file and has the decoder fill in the rest, so a few bytes
// declaring 23676 x 64768 pixels decode 24 megapixels at an eighth of the size
// and resize them, which takes over half a minute under the sanitizers and the
// coverage hooks (a fraction of a second in a release build). That is the cost
// of the declared size, not a fault; the limit keeps the runs at full speed.
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/fuzz/fuzz_support.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <turbojpeg.h>

namespace {

std::string FilePath;
String FileName;
tjhandle HeaderReader; // the harness's own, never the loader's
constexpr int64_t LargestDeclaredPixels = int64_t(64) << 20;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    StartImageRuntime();
    RegisterPngCodec();
    FUZZ_CHECK(StartJpegHandles() == 1);
    HeaderReader = tjInitDecompress();
    FUZZ_CHECK(HeaderReader != nullptr);
    FilePath = FuzzScratchFolder() + "input.jpg";
    FileName = StringFromUtf8(FilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int declaredWidth = 0, declaredHeight = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(HeaderReader, data, (unsigned long)size, &declaredWidth,
                            &declaredHeight, &subsampling, &colourspace) != 0) {
        // A rejected header can leave a handle refusing every later one.
        tjDestroy(HeaderReader);
        HeaderReader = tjInitDecompress();
        FUZZ_CHECK(HeaderReader != nullptr);
    }
    if (int64_t(declaredWidth) * declaredHeight > LargestDeclaredPixels) return -1;
    WriteWholeFile(FilePath, data, size);
    const int last = size > 0 ? data[size - 1] : 0;
    const int64_t maxWidth = int64_t(16) << (last & 3);
    const int64_t maxHeight = int64_t(16) << ((last >> 2) & 3);

    int orientation = -1;
    int64_t image = LoadJpegScaled(FileName, maxWidth, maxHeight, &orientation);
    if (!image) {
        FUZZ_CHECK(orientation == -1); // untouched on failure
        return 0;
    }
    FUZZ_CHECK(orientation == (ReadJpegOrientation(data, size) & 0xFF));
    const bool turned = orientation >= 5 && orientation <= 8;
    const int64_t width = ImagePixelWidth(image), height = ImagePixelHeight(image);
    FUZZ_CHECK(width >= 1 && height >= 1);
    FUZZ_CHECK(width <= (turned ? maxHeight : maxWidth));
    FUZZ_CHECK(height <= (turned ? maxWidth : maxHeight));
    ReleaseImage(image);
    return 0;
}
