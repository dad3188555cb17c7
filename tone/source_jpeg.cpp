// The JPEG reader: the whole file in memory, the header checked by TurboJPEG's
// rule, rows from libjpeg at the eighth-scale the loader picks.
#include "runtime/base/failure_reason.h"
#include "runtime/base/memory_budget.h"
#include "tone/jpeg_check.h"
#include "tone/jpeg_glue.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"
#include "tone/source_readers.h"

#include <cstdlib>
#include <jerror.h>
#include <memory>
#include <new>
#include <utility>

struct JpegSource {
    std::unique_ptr<unsigned char[]> data;
    JpegDecoder decoder;
    bool cmyk = false;     // rows of C, M, Y, K, turned into R, G, B, A as read
    bool inverted = false; // stored as Adobe stores them: 255 is no ink
};

namespace {

// Files this short cannot hold a JPEG worth decoding; the platform reader may
// still make something of them.
constexpr int64_t ShortestJpegFile = 97;

// The size TurboJPEG reads from the header: a warning (stray bytes between
// segments) still gives the full size; a rejected header sends the file on.
bool HeaderSize(const unsigned char *data, int64_t length, int *w, int *h) {
    int subsampling = 0, colourspace = 0;
    if (!StartJpegHandles()) return false;
    if (tjDecompressHeader3(JpegDecompressor(), data, (unsigned long)length, w, h, &subsampling,
                            &colourspace) != 0 &&
        !(tjGetErrorCode(JpegDecompressor()) == TJERR_WARNING && *w > 0 && *h > 0)) {
        // A rejected header (a 12-bit file, say) can leave the decompressor
        // refusing every later file, so the next file gets a fresh one.
        ReplaceJpegDecompressor();
        return false;
    }
    return *w > 0 && *h > 0;
}

// What to tell when no reader takes a JPEG whose header was rejected: the
// sample precision, the one refusal a person can act on.
std::string HeaderFault(const unsigned char *data, int64_t length) {
    JpegDecoder probe;
    if (StartJpegDecoder(probe, data, length, 8) || probe.errors.pub.msg_code != JERR_BAD_PRECISION)
        return std::string();
    return std::to_string(probe.errors.pub.msg_parm.i[0]) + "-bit JPEG is not supported";
}

// A decoder that failed, or warned, has rows the data never held when its data
// ends early: that refuses the file for good.
bool CutShort(PictureSource &s) {
    std::string cut = JpegCutShortReason(s.Jpeg->data.get(), size_t(s.FileLength));
    if (cut.empty()) return false;
    s.Reason = std::move(cut);
    s.Refused = true;
    return true;
}

// The colours of the picture: its ICC profile, when it carries one that fits.
void ReadColours(PictureSource &s) {
    JpegSource &j = *s.Jpeg;
    j.cmyk = j.decoder.info.out_color_space == JCS_CMYK;
    j.inverted = j.decoder.info.saw_Adobe_marker;
    JOCTET *icc = nullptr;
    unsigned int length = 0;
    if (!s.ColourProfiles || !jpeg_read_icc_profile(&j.decoder.info, &icc, &length)) return;
    s.Colours = ProfileFromIcc(icc, length, j.cmyk);
    std::free(icc);
}

// C, M, Y, K rows into R, G, B, A: through the profile, or by the plain rule
// of ink taking away light, channel by channel, when there is none.
void CmykRowsIntoRgb(PictureSource &s, unsigned char *const *rows, int64_t count) {
    const bool inverted = s.Jpeg->inverted;
    for (int64_t i = 0; i < count; i++) {
        if (s.Colours && PixelsIntoSrgb(*s.Colours, rows[i], s.RowsWidth, inverted)) continue;
        unsigned char *p = rows[i];
        for (int64_t x = 0; x < s.RowsWidth; x++, p += 4) {
            const unsigned k = inverted ? p[3] : 255u - p[3];
            for (int c = 0; c < 3; c++)
                p[c] = uint8_t(((inverted ? p[c] : 255u - p[c]) * k + 127) / 255);
            p[3] = 255;
        }
    }
}

} // namespace

int OpenJpegSource(PictureSource &s) {
    const int64_t length = s.FileLength;
    if (length < ShortestJpegFile) return 0;
    s.Jpeg = new (std::nothrow) JpegSource;
    if (!s.Jpeg) return 0;
    s.Jpeg->data.reset(new (std::nothrow) unsigned char[size_t(length)]);
    const unsigned char *data = s.Jpeg->data.get();
    if (!data || !ReadSourceBytes(s, s.Jpeg->data.get(), length, 0)) return 0;

    int w = 0, h = 0;
    if (!HeaderSize(data, length, &w, &h)) {
        s.FallbackReason = HeaderFault(data, length);
        return 0;
    }
    // The box applies to the upright picture; the decoder sees it as stored.
    s.Orientation = ReadJpegOrientation(data, size_t(length)) & 0xFF;
    int64_t maxWidth = s.MaxWidth, maxHeight = s.MaxHeight;
    if (s.Orientation >= 5 && s.Orientation <= 8) std::swap(maxWidth, maxHeight);
    JpegScalePlan plan = PlanJpegScale(w, h, maxWidth, maxHeight);
    std::string refusal;
    if (!FitsMemoryShare(JpegLoadingBytes(data, size_t(length), plan), &refusal))
        s.Reason = std::move(refusal);
    else
        s.Reason = JpegTooShortReason(data, size_t(length));
    if (!s.Reason.empty()) return -1;

    JpegDecoder &decoder = s.Jpeg->decoder;
    if (!StartJpegDecoder(decoder, data, length, plan.scale) ||
        decoder.info.output_width != JDIMENSION(plan.decodedWidth) ||
        decoder.info.output_height != JDIMENSION(plan.decodedHeight) ||
        decoder.info.output_components != 4)
        return 0; // a colour space the decoder cannot turn into RGB, say
    ReadColours(s);
    // Without profiles, CMYK is left to the platform reader, as it always was.
    if (s.Jpeg->cmyk && !s.ColourProfiles) return 0;
    s.StoredWidth = w, s.StoredHeight = h;
    s.RowsWidth = plan.decodedWidth, s.RowsHeight = plan.decodedHeight;
    s.Width = plan.width, s.Height = plan.height;
    return 1;
}

bool ReadJpegSourceRows(PictureSource &s, unsigned char *const *rows, int64_t count) {
    if (ReadJpegRows(s.Jpeg->decoder, rows, count)) {
        if (s.Jpeg->cmyk) CmykRowsIntoRgb(s, rows, count);
        return true;
    }
    CutShort(s);
    return false;
}

bool FinishJpegSource(PictureSource &s) {
    JpegDecoder &decoder = s.Jpeg->decoder;
    // The loader's rule: a failure at the very end still counts as decoded when
    // a warning came first (every row has been delivered by then).
    bool whole = FinishJpegDecoder(decoder) || decoder.errors.warned;
    if ((!whole || decoder.errors.warned) && CutShort(s)) return false;
    return whole;
}

void CloseJpegSource(PictureSource &s) {
    delete s.Jpeg;
    s.Jpeg = nullptr;
}
