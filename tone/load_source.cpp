#include "tone/load_source.h"

#include "runtime/base/failure_reason.h"
#include "runtime/image/images.h"
#include "runtime/image/path_target.h"
#include "runtime/image/premultiply.h"
#include "tone/load_jpeg.h"
#include "tone/picture_source.h"

#include <vector>

namespace {

// Where the stored picture's top-left corner goes once it has been turned about
// the origin, so that the upright picture starts at (0, 0). W x H is the stored size.
void SetUprightTransform(int orientation, double W, double H) {
    PathOrientAboutOrigin(orientation);
    switch (orientation) {
    case 2: // (W - x, y)
    case 8: // (y, W - x)
        PathTranslate(-W, 0);
        break;
    case 3: // (W - x, H - y)
    case 7: // (H - y, W - x)
        PathTranslate(-W, -H);
        break;
    case 4: // (x, H - y)
    case 6: // (H - y, x)
        PathTranslate(0, -H);
        break;
    }
}

} // namespace

void PathOrientAboutOrigin(int orientation) {
    switch (orientation) {
    case 2: // mirror left to right
        PathMirrorX(0);
        break;
    case 3: // turn 180 degrees
        PathRotate(0, 0, 180);
        break;
    case 4: // mirror top to bottom
        PathMirrorY(0);
        break;
    case 5: // transpose
        PathMirrorX(0);
        PathRotate(0, 0, 90);
        break;
    case 6: // turn 90 degrees clockwise
        PathRotate(0, 0, 90);
        break;
    case 7: // transverse
        PathMirrorX(0);
        PathRotate(0, 0, -90);
        break;
    case 8: // turn 90 degrees counter-clockwise
        PathRotate(0, 0, -90);
        break;
    }
}

namespace {

// Every row of the source into one image, resized into the box when the rows
// are larger; 0 when the source fails.
int64_t DecodeWhole(PictureSource &s) {
    if (int64_t image = TakeSourceImage(s)) return image;
    // The decoders write every byte, alpha included, so the memory needs no fill.
    int64_t image =
        NewDecodedImage(-1, s.RowsWidth, s.RowsHeight, s.Kind == SourceJpeg ? 24 : 32, 0);
    const ImageRecord *record = image ? LookupImage(image) : nullptr;
    if (!record) return 0;
    std::vector<unsigned char *> rows(size_t(s.RowsHeight));
    for (int64_t y = 0; y < s.RowsHeight; y++)
        rows[size_t(y)] = record->pixels + y * s.RowsWidth * 4;
    bool decoded = ReadSourceRows(s, rows.data(), s.RowsHeight) && FinishSource(s);
    // An oversized picture must not pass for a finished one. A PNG's colour is
    // weighed by its alpha while it is resized.
    bool premultiplied = s.Kind == SourcePng;
    if (decoded && (s.Width != s.RowsWidth || s.Height != s.RowsHeight)) {
        if (premultiplied)
            PremultiplyRgba(record->pixels, s.RowsWidth, s.RowsHeight, s.RowsWidth * 4);
        decoded = ScaleImage(image, s.Width, s.Height, 0) != 0;
        record = LookupImage(image);
        if (decoded && premultiplied)
            UnpremultiplyRgba(record->pixels, s.Width, s.Height, s.Width * 4);
    }
    if (!decoded) {
        ReleaseImage(image);
        return 0;
    }
    return image;
}

// The sample and the preview take a picture's luminance as sRGB's: a
// profiled picture is turned into sRGB (a CMYK one already is).
void IntoSrgb(int64_t image, const ColourProfile *colours) {
    const ImageRecord *record = colours && !colours->Cmyk ? LookupImage(image) : nullptr;
    if (!record) return;
    const int64_t width = ImagePixelWidth(image), height = ImagePixelHeight(image);
    for (int64_t y = 0; y < height; y++)
        PixelsIntoSrgb(*colours, record->pixels + y * width * 4, width);
}

// The picture from the readers of `kinds`; on failure the reason is set
// (failure_reason.h), with `anyReason` also when no reader took the file, else
// only when a reader refused it for good.
LoadedImage LoadWith(const String &path, int64_t maxWidth, int64_t maxHeight, int kinds,
                     bool anyReason, bool profiles) {
    LoadedImage loaded;
    TakeFailureReason(); // nothing of an earlier file may stick to this one
    PictureSource source;
    source.ColourProfiles = profiles;
    if (OpenPictureSource(source, path, maxWidth, maxHeight, kinds)) {
        while (!(loaded.image = DecodeWhole(source)) && NextPictureSource(source)) {
        }
    }
    if (!loaded.image) {
        if (source.Refused || anyReason) SetFailureReason(source.Reason);
        return loaded;
    }
    IntoSrgb(loaded.image, source.Colours.get());
    loaded.fromJpeg = source.Kind == SourceJpeg;
    loaded.orientation = loaded.fromJpeg ? source.Orientation : 0;
    return loaded;
}

} // namespace

LoadedImage LoadSourceImage(const String &path, int64_t maxWidth, int64_t maxHeight,
                            bool profiles) {
    return LoadWith(path, maxWidth, maxHeight, AnySource, true, profiles);
}

int64_t LoadJpegScaled(const String &path, int64_t maxWidth, int64_t maxHeight, int *orientation) {
    LoadedImage loaded = LoadWith(path, maxWidth, maxHeight, SourceJpeg, false, false);
    if (loaded.image && orientation) *orientation = loaded.orientation;
    return loaded.image;
}

int64_t LoadImageViaPlatform(const String &path, int64_t maxWidth, int64_t maxHeight) {
    return LoadWith(path, maxWidth, maxHeight, PlatformSources, false, false).image;
}

int64_t OrientUpright(int64_t image, int orientation) {
    if (orientation < 2 || orientation > 8) return image;
    int64_t W = ImagePixelWidth(image), H = ImagePixelHeight(image);
    if (W < 1 || H < 1) return 0;
    bool turned = orientation > 4;
    int64_t upright = NewImage(-1, turned ? H : W, turned ? W : H, 32);
    if (!upright || !OpenPathTarget(ImagePathTarget(upright))) {
        if (upright) ReleaseImage(upright);
        ReleaseImage(image);
        return 0;
    }
    SetUprightTransform(orientation, double(W), double(H));
    PathMoveTo(0, 0);
    int drawn = PathDrawImage(image, 255);
    ClosePathTarget();
    ReleaseImage(image);
    if (!drawn) {
        ReleaseImage(upright);
        return 0;
    }
    return upright;
}
