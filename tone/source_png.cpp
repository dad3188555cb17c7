// The PNG reader: libpng, row by row, for the PNGs the platform reader gives as
// stored, exactly: 8-bit RGB (an opaque alpha added) or RGBA, not interlaced,
// no transparent colour. A picture larger than the box is resized into it by
// the caller, row by row as the rows arrive, at the size the platform reader
// would give it. A warning from libpng anywhere leaves the file to the platform
// reader, which decides what it is worth.
#include "runtime/base/memory_budget.h"
#include "runtime/image/cut_short.h"
#include "runtime/image/images.h"
#include "tone/load_jpeg.h"
#include "tone/source_readers.h"

#include <cmath>
#include <csetjmp>
#include <new>
#include <png.h>

struct PngSource {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int64_t offset = 8; // the next byte libpng reads
    bool warned = false;
    ~PngSource() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

namespace {

void JumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void MarkWarning(png_structp png, png_const_charp) {
    static_cast<PictureSource *>(png_get_error_ptr(png))->Png->warned = true;
}

void ReadFromFile(png_structp png, png_bytep bytes, size_t length) {
    auto *source = static_cast<PictureSource *>(png_get_io_ptr(png));
    if (!ReadSourceBytes(*source, bytes, int64_t(length), source->Png->offset))
        png_error(png, "the file ends early");
    source->Png->offset += int64_t(length);
}

// The colours the head describes: an ICC profile, sRGB, or a gamma with or
// without primaries. A lone gamma of 1/2.2 is what writers put beside (or in
// place of) the sRGB chunk, and is read as sRGB.
ColourProfileRef DescribedColours(png_structp png, png_infop info) {
    png_charp name = nullptr;
    png_bytep icc = nullptr;
    png_uint_32 iccLength = 0;
    int compression = 0;
    if (png_get_iCCP(png, info, &name, &compression, &icc, &iccLength))
        return ProfileFromIcc(icc, iccLength);
    double gamma = 0;
    if (png_get_valid(png, info, PNG_INFO_sRGB) || !png_get_gAMA(png, info, &gamma) || gamma <= 0)
        return nullptr;
    ColourPrimaries primaries = SrgbPrimaries;
    auto &xy = primaries.xy;
    bool chromaticities = png_get_cHRM(png, info, &xy[3][0], &xy[3][1], &xy[0][0], &xy[0][1],
                                       &xy[1][0], &xy[1][1], &xy[2][0], &xy[2][1]) != 0;
    if (!chromaticities) primaries = SrgbPrimaries;
    if (std::fabs(gamma * 2.2 - 1) < 0.01) return ProfileFromPrimaries(primaries, TransferSrgb);
    return ProfileFromPrimaries(primaries, TransferGamma, 1 / gamma);
}

// Reads the head and sets the one transform: RGB gets an opaque alpha after it.
// False when the file is not one this reader takes.
bool StartReading(PictureSource &s, png_uint_32 *w, png_uint_32 *h) {
    PngSource &r = *s.Png;
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_set_read_fn(r.png, &s, ReadFromFile);
    png_set_sig_bytes(r.png, 8);
    png_read_info(r.png, r.info);
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(r.png, r.info, w, h, &depth, &colour, &interlace, nullptr, nullptr);
    if (depth != 8 || interlace != PNG_INTERLACE_NONE ||
        (colour != PNG_COLOR_TYPE_RGB && colour != PNG_COLOR_TYPE_RGB_ALPHA) ||
        png_get_valid(r.png, r.info, PNG_INFO_tRNS) || *w < 1 || *h < 1 || *w > MaxImageSide ||
        *h > MaxImageSide)
        return false;
    if (s.ColourProfiles) s.Colours = DescribedColours(r.png, r.info);
    if (colour == PNG_COLOR_TYPE_RGB) png_set_filler(r.png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(r.png, r.info);
    return png_get_rowbytes(r.png, r.info) == size_t(*w) * 4 && !r.warned;
}

bool ReadRows(PngSource &r, unsigned char *const *rows, int64_t count) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_rows(r.png, const_cast<png_bytepp>(rows), nullptr, png_uint_32(count));
    return !r.warned;
}

// The chunks after the image data, read to the end of the file as the platform
// reader's libpng does.
bool ReadEnd(PngSource &r) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_end(r.png, nullptr);
    return !r.warned;
}

} // namespace

int OpenPngSource(PictureSource &s) {
    // libpng sets aside a chunk's declared length before reading it: a chunk
    // that runs past the end of the file goes to the reader that says why.
    if (!PngChunksFitTheFile(s.Descriptor)) return 0;
    s.Png = new (std::nothrow) PngSource;
    if (!s.Png) return 0;
    PngSource &r = *s.Png;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, JumpOnError, MarkWarning);
    if (!r.png || !(r.info = png_create_info_struct(r.png))) return 0;
    png_uint_32 w = 0, h = 0;
    if (!StartReading(s, &w, &h)) return 0;
    s.StoredWidth = s.RowsWidth = s.Width = w;
    s.StoredHeight = s.RowsHeight = s.Height = h;
    double ratio = FitRatio(w, h, BoxSide(s.MaxWidth), BoxSide(s.MaxHeight));
    if (ratio < 1)
        s.Width = ScaledSideAwayFromZero(w, ratio), s.Height = ScaledSideAwayFromZero(h, ratio);
    // The picture in the box is held whole; one over its share is left to the
    // platform reader, which refuses it with the reason.
    return FitsMemoryShare(s.Width * s.Height * 4) ? 1 : 0;
}

bool ReadPngSourceRows(PictureSource &s, unsigned char *const *rows, int64_t count) {
    return ReadRows(*s.Png, rows, count);
}

bool FinishPngSource(PictureSource &s) {
    return ReadEnd(*s.Png);
}

void ClosePngSource(PictureSource &s) {
    delete s.Png;
    s.Png = nullptr;
}
