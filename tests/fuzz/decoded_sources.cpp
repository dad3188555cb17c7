// The readers that decode a picture whole (HEIC/HEIF/AVIF, JPEG XL, camera RAW)
// on any file contents, through the source layer as a conversion reads it:
// opened into a small box with those readers alone (the platform reader has its
// own target), every row read, the source finished. What must hold: a picture
// taken is one of theirs, fits the box and delivers every row; a file refused
// says why; anything else is left with no reason of its own.
//
// The memory share is kept small, so a head declaring a large picture is
// refused before its decoder allocates, and every run stays quick.
#include "runtime/base/base_runtime.h"
#include "runtime/base/memory_budget.h"
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
constexpr int64_t Box = 32;
constexpr int DecodedWhole = SourceHeif | SourceJxl | SourceRaw;
// What the source layer says when no reader takes a file.
const std::string NoReader = "not a picture this program reads";

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    StartImageRuntime();
    SetMemoryLimit(int64_t(128) << 20, 1);
    FilePath = FuzzScratchFolder() + "input";
    FileName = StringFromUtf8(FilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    WriteWholeFile(FilePath, data, size);
    PictureSource source;
    if (!OpenPictureSource(source, FileName, Box, Box, DecodedWhole)) {
        // (What a decoder printed may follow the words in parentheses.)
        FUZZ_CHECK(source.Refused ? !source.Reason.empty() && source.Reason.rfind(NoReader, 0)
                                  : source.Reason.rfind(NoReader, 0) == 0);
        return 0;
    }
    FUZZ_CHECK((source.Kind & DecodedWhole) != 0);
    FUZZ_CHECK(source.Width >= 1 && source.Width <= Box && source.Height >= 1 &&
               source.Height <= Box);
    FUZZ_CHECK(source.RowsWidth == source.Width && source.RowsHeight == source.Height);
    std::vector<unsigned char> pixels(size_t(source.RowsWidth * source.RowsHeight * 4));
    std::vector<unsigned char *> rows;
    for (int64_t y = 0; y < source.RowsHeight; y++)
        rows.push_back(&pixels[size_t(y * source.RowsWidth * 4)]);
    FUZZ_CHECK(ReadSourceRows(source, rows.data(), source.RowsHeight));
    FUZZ_CHECK(FinishSource(source));
    return 0;
}
