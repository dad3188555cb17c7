// libjpeg's own interface, as every part of the program that decodes or encodes
// with it uses it: the quiet error manager, and the decoder set up the way
// TurboJPEG sets it up for the JPEG loader, delivering rows band by band.
// Fatal errors jump back to the call that met them; warnings only leave marks;
// nothing is printed. Any thread, each on its own objects.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE

#include <jpeglib.h>

struct JpegErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
    bool warned;       // any warning (a truncated tail filled in, stray bytes)
    bool lostRows;     // a warning that means rows of the picture are missing
    int64_t lostAtRow; // output rows a decoder had delivered when that happened
};

// Sets `errors` up and answers the manager to put into a libjpeg object.
jpeg_error_mgr *QuietJpegErrors(JpegErrors &errors);

// Whether a libjpeg warning code means rows of the picture are missing: the
// data ended, or a marker came in the middle of the picture's data.
bool JpegWarningLosesRows(int code);

// A decoder of JPEG data held in memory: R, G, B, A rows (C, M, Y, K rows for
// a CMYK or YCCK picture, out_color_space JCS_CMYK), the accurate DCT,
// fancy upsampling, scale `scale`/8, as TurboJPEG decodes for the loader, so the
// rows are the bytes tjDecompress2 gives.
struct JpegDecoder {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    bool created = false;
    ~JpegDecoder();
};

// Reads the header and starts decompressing; false when libjpeg refuses.
bool StartJpegDecoder(JpegDecoder &decoder, const unsigned char *data, int64_t length, int scale);
// The next `count` rows, in order; false on a fatal error.
bool ReadJpegRows(JpegDecoder &decoder, unsigned char *const *rows, int64_t count);
// After the last row: reads to the end of the data; false on a fatal error.
bool FinishJpegDecoder(JpegDecoder &decoder);
