#include "tone/jpeg_check.h"

#include "runtime/base/failure_reason.h"
#include "tone/jpeg_glue.h"

#include <algorithm>
#include <vector>

namespace {

struct Checker {
    jpeg_decompress_struct info{};
    JpegErrors errors;
    Checker() {
        info.err = QuietJpegErrors(errors);
        jpeg_create_decompress(&info);
    }
    ~Checker() { jpeg_destroy_decompress(&info); }
};

// The header of `data` into `c`; false when it cannot be read. Kept apart from
// the callers so that no object with a destructor lives in the frame that
// setjmp returns to.
bool ReadHeader(Checker &c, const unsigned char *data, size_t length) {
    if (setjmp(c.errors.jump)) return false;
    jpeg_mem_src(&c.info, data, (unsigned long)length);
    return jpeg_read_header(&c.info, TRUE) == JPEG_HEADER_OK;
}

// Decodes every row at an eighth of the size into `row`, then the end of the
// file. False on a fatal error (the rows lost are then unknown).
bool DecodeSmall(Checker &c, JSAMPROW row) {
    if (setjmp(c.errors.jump)) return false;
    // Once rows are lost the answer is known.
    while (c.info.output_scanline < c.info.output_height && !c.errors.lostRows)
        if (jpeg_read_scanlines(&c.info, &row, 1) != 1) return false;
    if (!c.errors.lostRows) jpeg_finish_decompress(&c.info);
    return true;
}

bool StartSmall(Checker &c) {
    if (setjmp(c.errors.jump)) return false;
    c.info.scale_num = 1;
    c.info.scale_denom = 8;
    c.info.dct_method = JDCT_IFAST;
    c.info.do_fancy_upsampling = FALSE;
    return jpeg_start_decompress(&c.info) != 0;
}

} // namespace

int64_t JpegCoefficientBytes(const unsigned char *data, size_t length) {
    Checker c;
    if (!ReadHeader(c, data, length) || !jpeg_has_multiple_scans(&c.info)) return 0;
    int64_t bytes = 0;
    for (int n = 0; n < c.info.num_components; n++) {
        const jpeg_component_info &component = c.info.comp_info[n];
        int64_t across = component.width_in_blocks, down = component.height_in_blocks;
        // The buffer is kept in whole sampling units.
        across +=
            (component.h_samp_factor - across % component.h_samp_factor) % component.h_samp_factor;
        down +=
            (component.v_samp_factor - down % component.v_samp_factor) % component.v_samp_factor;
        bytes += across * down * DCTSIZE2 * int64_t(sizeof(JCOEF));
    }
    return bytes;
}

std::string JpegTooShortReason(const unsigned char *data, size_t length) {
    Checker c;
    if (!ReadHeader(c, data, length) || c.info.arith_code) return std::string();
    uint64_t blocks = 0;
    for (int n = 0; n < c.info.num_components; n++)
        blocks += uint64_t(c.info.comp_info[n].width_in_blocks) *
                  uint64_t(c.info.comp_info[n].height_in_blocks);
    if (uint64_t(length) * 8 >= blocks) return std::string();
    // A progressive file gives up no row before its last scan, and decoding
    // even its header's worth would take the whole picture's coefficients.
    if (c.info.progressive_mode) return CutShortText(0, c.info.image_height);
    return JpegCutShortReason(data, length);
}

std::string JpegCutShortReason(const unsigned char *data, size_t length) {
    Checker c;
    if (!ReadHeader(c, data, length)) return std::string();
    const int64_t height = c.info.image_height;
    std::vector<JSAMPLE> row;
    if (StartSmall(c)) {
        row.resize(size_t(c.info.output_width) * size_t(c.info.output_components));
        DecodeSmall(c, row.data());
    }
    // A fatal error with no rows lost before it is some other fault, for the
    // decoder proper to report.
    if (!c.errors.lostRows) return std::string();
    // Each row at an eighth stands for eight rows of the picture. The decoder
    // reads a few bytes ahead, so the rows counted are the ones surely whole.
    return CutShortText(std::min(height, c.errors.lostAtRow * 8), height);
}
