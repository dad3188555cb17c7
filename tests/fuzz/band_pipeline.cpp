// ConvertOneFile on any file contents: the reader the first bytes choose, the
// JPEG and PNG band decoders, the row-by-row resize into the box, the writers,
// and the hand-over to the platform reader when a band decoder gives up.
//
// The box comes from the last byte (16 to 128 pixels a side). What must hold:
// a converted file leaves exactly one output, in the box; a failed one leaves
// nothing and says why.
//
// Pictures whose head declares more than 64 megapixels are left out, as in the
// JPEG loader's target: decoding made-up rows of a huge declared size is slow
// under the coverage hooks, not wrong.
#include "convert/convert_file.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tests/fuzz/fuzz_support.h"
#include "tone/colour_table.h"
#include "tone/jpeg_handles.h"
#include "tone/luma_tables.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string InputPath, OutputFolder;
constexpr uint64_t LargestDeclaredPixels = uint64_t(64) << 20;

uint32_t Big32(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The size a PNG's IHDR or a JPEG's first frame header declares, 0 when none is
// found.
uint64_t DeclaredPixels(const uint8_t *data, size_t size) {
    if (size >= 24 && data[0] == 0x89 && data[1] == 'P')
        return uint64_t(Big32(data + 16)) * Big32(data + 20);
    for (size_t i = 2; i + 9 <= size; i++)
        if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
            data[i + 1] != 0xC8 && data[i + 1] != 0xCC)
            return uint64_t(data[i + 5] << 8 | data[i + 6]) *
                   uint64_t(data[i + 7] << 8 | data[i + 8]);
    return 0;
}

// The width and height an output file's head states.
bool OutputSize(const std::string &path, uint64_t *w, uint64_t *h) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.data());
    if (bytes.size() >= 24 && p[0] == 0x89) {
        *w = Big32(p + 16), *h = Big32(p + 20);
        return true;
    }
    for (size_t i = 2; i + 9 <= bytes.size(); i++)
        if (p[i] == 0xFF && p[i + 1] == 0xC0) {
            *h = uint64_t(p[i + 5] << 8 | p[i + 6]), *w = uint64_t(p[i + 7] << 8 | p[i + 8]);
            return true;
        }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    StartImageRuntime();
    FUZZ_CHECK(StartJpegHandles() == 1);
    BuildLumaTables();
    GradientStop stops[StopCount] = {0xFF102030u, 0, 0, 0, 0xFF8090A0u, 0, 0, 0, 0xFFF0F0E0u};
    BuildColourTable(stops);
    InputPath = FuzzScratchFolder() + "input";
    OutputFolder = FuzzScratchFolder() + "out/";
    std::filesystem::create_directories(OutputFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (DeclaredPixels(data, size) > LargestDeclaredPixels) return -1;
    WriteWholeFile(InputPath, data, size);
    const int last = size > 0 ? data[size - 1] : 0;
    const int32_t maxWidth = int32_t(16) << (last & 3);
    const int32_t maxHeight = int32_t(16) << ((last >> 2) & 3);
    ConversionOutcome outcome;
    int status = ConvertOneFile(StringFromUtf8(InputPath), StringFromUtf8(OutputFolder),
                                {maxWidth, maxHeight, 90}, 0, 1, 0, {}, &outcome);
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(OutputFolder)) {
        files++;
        uint64_t w = 0, h = 0;
        FUZZ_CHECK(OutputSize(entry.path().string(), &w, &h));
        // A JPEG's EXIF orientation may stand it on its side.
        uint64_t side = std::max<uint64_t>(maxWidth, maxHeight);
        FUZZ_CHECK(w >= 1 && h >= 1 && w <= side && h <= side);
        FUZZ_CHECK(uint64_t(outcome.Pixels) == w * h);
        std::filesystem::remove(entry.path());
    }
    if (status == StatusDone) {
        FUZZ_CHECK(files == 1);
    } else {
        FUZZ_CHECK(status == StatusError && files == 0 && !outcome.Reason.empty());
    }
    return 0;
}
