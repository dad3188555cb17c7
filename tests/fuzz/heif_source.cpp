// The picture source on any file contents, for the HEIC, HEIF and AVIF reader:
// opened into a small box as the conversions open it, every row read, then
// finished. What must hold: a source that opens delivers a picture inside the
// box, all of it; one that does not gives a reason.
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tests/fuzz/fuzz_support.h"
#include "tone/picture_source.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string FilePath;
String FileName;
constexpr int64_t Box = 64;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    StartImageRuntime();
    FilePath = FuzzScratchFolder() + "input";
    FileName = StringFromUtf8(FilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    WriteWholeFile(FilePath, data, size);
    PictureSource source;
    if (!OpenPictureSource(source, FileName, Box, Box)) {
        FUZZ_CHECK(!source.Reason.empty());
        return 0;
    }
    FUZZ_CHECK(source.Width >= 1 && source.Width <= Box);
    FUZZ_CHECK(source.Height >= 1 && source.Height <= Box);
    std::vector<unsigned char> row(size_t(source.RowsWidth) * 4);
    unsigned char *rows[] = {row.data()};
    for (int64_t y = 0; y < source.RowsHeight; y++)
        if (!ReadSourceRows(source, rows, 1)) return 0;
    FinishSource(source);
    return 0;
}
