// The camera RAW reader on any file contents, through the source layer as a
// conversion reads it: opened into a small box with the RAW reader alone (the
// platform reader has its own target), every row read, the source finished.
// What must hold: a picture taken is the RAW reader's, fits the box and
// delivers every row; a file refused or left alone says why.
//
// The memory share is kept small, so a head declaring a large sensor is
// refused before LibRaw unpacks it, as on a machine with little memory, and
// every run stays quick.
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
constexpr int64_t MemoryShare = int64_t(256) << 20;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    StartImageRuntime();
    SetMemoryLimit(MemoryShare, 1);
    FilePath = FuzzScratchFolder() + "input";
    FileName = StringFromUtf8(FilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    WriteWholeFile(FilePath, data, size);
    PictureSource source;
    if (!OpenPictureSource(source, FileName, Box, Box, SourceRaw)) {
        FUZZ_CHECK(!source.Reason.empty());
        return 0;
    }
    FUZZ_CHECK(source.Kind == SourceRaw);
    FUZZ_CHECK(source.RowsWidth >= 1 && source.RowsWidth <= Box);
    FUZZ_CHECK(source.RowsHeight >= 1 && source.RowsHeight <= Box);
    std::vector<unsigned char> pixels(size_t(source.RowsWidth * source.RowsHeight * 4));
    std::vector<unsigned char *> rows;
    for (int64_t y = 0; y < source.RowsHeight; y++)
        rows.push_back(pixels.data() + y * source.RowsWidth * 4);
    FUZZ_CHECK(ReadSourceRows(source, rows.data(), source.RowsHeight));
    FUZZ_CHECK(FinishSource(source));
    return 0;
}
