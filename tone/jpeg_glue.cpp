#include "tone/jpeg_glue.h"

#include <jerror.h>

namespace {

void JumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors *>(info->err)->jump, 1);
}

void MarkWarning(j_common_ptr info, int level) {
    if (level >= 0) return; // trace messages
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    errors->warned = true;
    if (errors->lostRows || !JpegWarningLosesRows(info->err->msg_code)) return;
    errors->lostRows = true;
    if (info->is_decompressor)
        errors->lostAtRow = reinterpret_cast<j_decompress_ptr>(info)->output_scanline;
}

void PrintNothing(j_common_ptr) {}

} // namespace

jpeg_error_mgr *QuietJpegErrors(JpegErrors &errors) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.emit_message = MarkWarning;
    errors.pub.output_message = PrintNothing;
    errors.warned = false;
    errors.lostRows = false;
    errors.lostAtRow = 0;
    return &errors.pub;
}

bool JpegWarningLosesRows(int code) {
    return code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER;
}

JpegDecoder::~JpegDecoder() {
    if (created) jpeg_destroy_decompress(&info);
}

bool StartJpegDecoder(JpegDecoder &d, const unsigned char *data, int64_t length, int scale) {
    d.info.err = QuietJpegErrors(d.errors);
    if (setjmp(d.errors.jump)) return false;
    jpeg_create_decompress(&d.info);
    d.created = true;
    jpeg_mem_src(&d.info, data, (unsigned long)length);
    jpeg_save_markers(&d.info, JPEG_APP0 + 2, 0xFFFF); // the ICC profile's pieces
    jpeg_read_header(&d.info, TRUE);
    // CMYK (YCCK too) comes out as C, M, Y, K for the caller to turn into RGB.
    const bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    d.info.dct_method = JDCT_ISLOW;
    d.info.scale_num = JDIMENSION(scale);
    d.info.scale_denom = 8;
    jpeg_start_decompress(&d.info);
    return true;
}

bool ReadJpegRows(JpegDecoder &d, unsigned char *const *rows, int64_t count) {
    if (setjmp(d.errors.jump)) return false;
    for (int64_t got = 0; got < count;) {
        JDIMENSION n = jpeg_read_scanlines(&d.info, const_cast<JSAMPROW *>(rows + got),
                                           JDIMENSION(count - got));
        if (n == 0) return false; // a memory source never suspends; stop rather than spin
        got += n;
    }
    return true;
}

bool FinishJpegDecoder(JpegDecoder &d) {
    if (setjmp(d.errors.jump)) return false;
    jpeg_finish_decompress(&d.info);
    return true;
}
