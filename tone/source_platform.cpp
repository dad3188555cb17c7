// The platform reader as a source: the whole picture decoded at once, drawn
// into the box and turned upright, then handed out row by row (or whole).
#include "runtime/base/failure_reason.h"
#include "runtime/base/memory_budget.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/image/platform_reader.h"
#include "tone/load_jpeg.h"
#include "tone/load_source.h"
#include "tone/luma_tables.h"
#include "tone/source_readers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

struct PlatformSource {
    int64_t image = 0;
    int64_t rowsRead = 0;
    ~PlatformSource() {
        if (image) ReleaseImage(image);
    }
};

namespace {

struct PictureFree {
    void operator()(PlatformPicture *picture) const { FreePlatformPicture(picture); }
};

// A picture of more than 8 bits a channel, drawn at 16 bits, into `pixels`:
// each pixel's luminance from all its bits (in the colours `colours` describes)
// in bytes 0 and 1, its alpha in byte 3.
bool DrawLuminance(PlatformPicture *picture, const ColourProfile *colours, unsigned char *pixels,
                   int64_t width, int64_t height, int64_t pitch) {
    const size_t rowValues = size_t(width) * 4;
    std::unique_ptr<uint16_t[]> deep(new (std::nothrow) uint16_t[rowValues * size_t(height)]);
    if (!deep ||
        !DrawPlatformPictureDeep(picture, deep.get(), width, height, int64_t(rowValues) * 2))
        return false;
    BuildLumaTables();
    // A profile of colour tables gives each row's luminance through lcms2.
    const bool throughLight = colours && !colours->Matrix;
    const DeepLumaLookup lookup = DeepProfileLookup(colours);
    std::vector<uint16_t> light(throughLight ? size_t(width) : 0);
    for (int64_t y = 0; y < height; y++) {
        const uint16_t *from = deep.get() + size_t(y) * rowValues;
        if (throughLight && !DeepProfileLuminance(*colours, from, light.data(), width))
            return false;
        unsigned char *to = pixels + y * pitch;
        for (int64_t x = 0; x < width; x++, from += 4, to += 4) {
            const uint16_t luminance =
                throughLight ? light[x] : DeepLuminance(lookup, from[0], from[1], from[2]);
            to[0] = uint8_t(luminance), to[1] = uint8_t(luminance >> 8), to[2] = 0;
            to[3] = uint8_t((from[3] * 255u + 32767u) / 65535u);
        }
    }
    return true;
}

// The picture in the box, as stored (the caller turns it upright by
// *orientation); 0 with the reason set when it is refused. With `luminance`, a
// picture of more than 8 bits a channel is drawn as DrawLuminance draws it, and
// *luminance tells whether it was.
int64_t DrawInTheBox(PictureSource &s, PlatformPicture *picture, int64_t maxWidth,
                     int64_t maxHeight, int *orientation, bool *luminance) {
    int64_t width = PlatformPictureWidth(picture);
    int64_t height = PlatformPictureHeight(picture);
    if (width < 1 || height < 1) return 0;
    // Written as PNG, the picture carries no orientation: it is turned upright
    // here, and the box applies to it upright.
    *orientation = PlatformPictureOrientation(picture);
    if (*orientation >= 5 && *orientation <= 8) std::swap(maxWidth, maxHeight);
    double r = FitRatio(width, height, BoxSide(maxWidth), BoxSide(maxHeight));
    bool scaled = r < 1;
    if (scaled)
        width = ScaledSideAwayFromZero(width, r), height = ScaledSideAwayFromZero(height, r);
    *luminance = *luminance && PlatformPictureBits(picture) == 16;
    std::string overLimit;
    int64_t turned = *orientation > 1 ? width * height * 4 : 0;
    // The picture at 16 bits a channel, its scaled copy, then ours.
    int64_t deep = *luminance ? (PlatformPictureWidth(picture) * PlatformPictureHeight(picture) +
                                 width * height * 2) *
                                    8
                              : 0;
    if (!FitsMemoryShare(PlatformPictureBytes(picture, width, height) + width * height * 4 +
                             turned + deep,
                         &overLimit)) {
        SetFailureReason(overLimit);
        return 0;
    }
    // The colours the file describes come with its decoding, once it fits; a
    // picture another decoder made comes with its colours already read.
    if (!s.Colours && s.ColourProfiles) {
        const std::string icc = PlatformPictureIcc(picture);
        s.Colours = ProfileFromIcc(icc.data(), icc.size());
    }
    const ColourProfile *colours = s.Colours.get();
    int64_t image = NewImage(-1, width, height, 32);
    if (!image) return 0;
    if (!OpenDrawTarget(ImageTarget(image))) {
        ReleaseImage(image);
        return 0;
    }
    // At its own size the picture is read as stored, exactly; only a picture
    // that must shrink is drawn through the scaler.
    int drawn = *luminance ? DrawLuminance(picture, colours, TargetPixels(), TargetWidth(),
                                           TargetHeight(), TargetPitch())
                : scaled   ? DrawPlatformPicture(picture, TargetPixels(), TargetWidth(),
                                                 TargetHeight(), TargetPitch())
                           : ReadPlatformPictureInto(picture, TargetPixels(), TargetWidth(),
                                                     TargetHeight(), TargetPitch());
    CloseDrawTarget();
    if (!drawn) {
        ReleaseImage(image);
        return 0;
    }
    return image;
}

} // namespace

namespace {

// The picture drawn into the box and turned upright becomes the source's rows.
int DeliverInTheBox(PictureSource &s, std::unique_ptr<PlatformPicture, PictureFree> picture) {
    int64_t image = 0;
    if (picture) {
        s.StoredWidth = PlatformPictureWidth(picture.get());
        s.StoredHeight = PlatformPictureHeight(picture.get());
        s.RowsHoldLuminance = s.LuminanceWanted;
        image = DrawInTheBox(s, picture.get(), s.MaxWidth, s.MaxHeight, &s.Orientation,
                             &s.RowsHoldLuminance);
    }
    picture.reset(); // the decoded copy goes before the turned one is made
    if (image) image = OrientUpright(image, s.Orientation);
    if (!image) {
        s.Reason = TakeFailureReason();
        return s.Reason.empty() ? 0 : -1;
    }
    s.Platform = new (std::nothrow) PlatformSource;
    if (!s.Platform) {
        ReleaseImage(image);
        return 0;
    }
    s.Platform->image = image;
    s.RowsWidth = s.Width = ImagePixelWidth(image);
    s.RowsHeight = s.Height = ImagePixelHeight(image);
    return 1;
}

} // namespace

int OpenPlatformSource(PictureSource &s) {
    TakeFailureReason(); // the reader's own reasons come through this thread's slot
    return DeliverInTheBox(
        s, std::unique_ptr<PlatformPicture, PictureFree>(OpenPlatformPictureAt(s.Descriptor)));
}

int OpenDecodedSource(PictureSource &s, PlatformPicture *picture) {
    TakeFailureReason();
    return DeliverInTheBox(s, std::unique_ptr<PlatformPicture, PictureFree>(picture));
}

bool ReadPlatformSourceRows(PictureSource &s, unsigned char *const *rows, int64_t count) {
    PlatformSource &p = *s.Platform;
    const ImageRecord *record = p.image ? LookupImage(p.image) : nullptr;
    if (!record || p.rowsRead + count > s.RowsHeight) return false;
    const size_t pitch = size_t(s.RowsWidth) * 4;
    for (int64_t i = 0; i < count; i++)
        std::memcpy(rows[i], record->pixels + size_t(p.rowsRead + i) * pitch, pitch);
    p.rowsRead += count;
    return true;
}

int64_t TakePlatformSourceImage(PictureSource &s) {
    int64_t image = s.Platform->image;
    s.Platform->image = 0;
    return image;
}

void ClosePlatformSource(PictureSource &s) {
    delete s.Platform;
    s.Platform = nullptr;
}
