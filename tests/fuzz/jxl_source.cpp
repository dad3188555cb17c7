// The JPEG XL reader on any file contents, through the source layer as the
// converters use it: opened into a 24 x 24 box with no other reader allowed,
// then every row read and the source finished. What must hold: a picture taken
// fits the box and hands out all its rows; a file refused says why; anything
// else is left for the next reader with no reason of its own.
//
// Each picture may take 128 MB to decode, so inputs declaring large pictures
// are refused at their head and the runs stay quick.
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
constexpr int64_t Box = 24;
// What the source layer says when no reader takes a file.
const std::string NoReader = "not a picture this program reads";

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    StartImageRuntime();
    SetMemoryLimit(int64_t(128) << 20, 1);
    FilePath = FuzzScratchFolder() + "input.jxl";
    FileName = StringFromUtf8(FilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    WriteWholeFile(FilePath, data, size);
    PictureSource source;
    if (!OpenPictureSource(source, FileName, Box, Box, SourceJxl)) {
        FUZZ_CHECK(source.Refused ? !source.Reason.empty() && source.Reason != NoReader
                                  : source.Reason == NoReader);
        return 0;
    }
    FUZZ_CHECK(source.Kind == SourceJxl);
    FUZZ_CHECK(source.Width >= 1 && source.Width <= Box && source.Height >= 1 &&
               source.Height <= Box);
    FUZZ_CHECK(source.RowsWidth == source.Width && source.RowsHeight == source.Height);
    FUZZ_CHECK(source.StoredWidth >= 1 && source.StoredHeight >= 1);
    std::vector<unsigned char> pixels(size_t(source.RowsWidth * source.RowsHeight * 4));
    std::vector<unsigned char *> rows;
    for (int64_t y = 0; y < source.RowsHeight; y++)
        rows.push_back(&pixels[size_t(y * source.RowsWidth * 4)]);
    FUZZ_CHECK(ReadSourceRows(source, rows.data(), source.RowsHeight));
    FUZZ_CHECK(FinishSource(source));
    return 0;
}
