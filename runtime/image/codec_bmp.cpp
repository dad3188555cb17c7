// The BMP entry of the decoder registry. It recognises BMP data ("BM" and two
// zero reserved words) so that such data is claimed before any later decoder
// sees it, but decodes nothing: BMP files are read through the platform reader.
#include "runtime/image/codecs.h"

#include <cstring>

namespace {

int BmpCheck(DecodeState *state) {
    // "BM", the file size (4 bytes), then two reserved 16-bit words.
    if (state->end - state->cursor < 10) return 0;
    const unsigned char *p = state->cursor;
    static const unsigned char zero[4] = {0, 0, 0, 0};
    return p[0] == 'B' && p[1] == 'M' && std::memcmp(p + 6, zero, 4) == 0;
}

// Width and height stay 0, so no image is ever made from an accepted BMP.
int BmpDecode(DecodeState *, unsigned char *, int64_t, int) {
    return 0;
}
void BmpRelease(DecodeState *) {}

} // namespace

void RegisterBmpCodec() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    RegisterImageDecoder({BmpCheck, BmpDecode, BmpRelease, FormatBmp});
}
