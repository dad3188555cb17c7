// ReadJpegOrientation on any bytes taken as the head of a JPEG file: it must read
// nothing outside them and answer a 16-bit tag value (0 when there is none).
#include "tests/fuzz/fuzz_support.h"
#include "tone/load_jpeg.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int orientation = ReadJpegOrientation(data, size);
    FUZZ_CHECK(orientation >= 0 && orientation <= 0xFFFF);
    // The orientation lives in the first APP1 segment, so bytes added after the
    // data can change the answer only where the scan had run out of data; a
    // found tag stays found with the same value.
    if (orientation != 0) {
        std::vector<uint8_t> longer(data, data + size);
        longer.resize(size + 64, 0xFF);
        FUZZ_CHECK(ReadJpegOrientation(longer.data(), longer.size()) == orientation);
    }
    return 0;
}
