#include "tone/load_source.h"

#include "runtime/base/failure_reason.h"
#include "runtime/base/memory_budget.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/image/path_target.h"
#include "runtime/image/platform_reader.h"
#include "tone/load_jpeg.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

struct PictureFree {
    void operator()(PlatformPicture *picture) const { FreePlatformPicture(picture); }
};

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

LoadedImage LoadSourceImage(const String &path, int64_t maxWidth, int64_t maxHeight) {
    LoadedImage loaded;
    TakeFailureReason(); // nothing of an earlier file may stick to this one
    loaded.image = LoadJpegScaled(path, maxWidth, maxHeight, &loaded.orientation);
    if (loaded.image) {
        loaded.fromJpeg = true;
        return loaded;
    }
    loaded.orientation = 0;
    // A JPEG refused for good (cut short, too large) is not read by another reader.
    if (!FailureReasonGiven()) loaded.image = LoadImageViaPlatform(path, maxWidth, maxHeight);
    return loaded;
}

int64_t LoadImageViaPlatform(const String &path, int64_t maxWidth, int64_t maxHeight) {
    std::unique_ptr<PlatformPicture, PictureFree> picture(OpenPlatformPicture(path));
    if (!picture) return 0;
    int64_t width = PlatformPictureWidth(picture.get());
    int64_t height = PlatformPictureHeight(picture.get());
    if (width < 1 || height < 1) return 0;
    // Written as PNG, the picture carries no orientation: it is turned upright
    // here, and the box applies to it upright.
    int orientation = PlatformPictureOrientation(picture.get());
    if (orientation >= 5 && orientation <= 8) std::swap(maxWidth, maxHeight);
    double r = FitRatio(width, height, BoxSide(maxWidth), BoxSide(maxHeight));
    bool scaled = r < 1;
    if (scaled) {
        // Halves away from zero; a side that rounds to nothing keeps one pixel.
        width = std::max<int64_t>(1, std::llround(double(width) * r));
        height = std::max<int64_t>(1, std::llround(double(height) * r));
    }
    std::string overLimit;
    int64_t turned = orientation > 1 ? width * height * 4 : 0;
    if (!FitsMemoryShare(PlatformPictureBytes(picture.get(), width, height) + width * height * 4 +
                             turned,
                         &overLimit)) {
        SetFailureReason(overLimit);
        return 0;
    }
    int64_t image = NewImage(-1, width, height, 32);
    if (!image) return 0;
    if (!OpenDrawTarget(ImageTarget(image))) {
        ReleaseImage(image);
        return 0;
    }
    // At its own size the picture is read as stored, exactly; only a picture
    // that must shrink is drawn through the scaler.
    int drawn = scaled ? DrawPlatformPicture(picture.get(), TargetPixels(), TargetWidth(),
                                             TargetHeight(), TargetPitch())
                       : ReadPlatformPictureInto(picture.get(), TargetPixels(), TargetWidth(),
                                                 TargetHeight(), TargetPitch());
    CloseDrawTarget();
    picture.reset(); // the decoded copy goes before the turned one is made
    if (!drawn) {
        ReleaseImage(image);
        return 0;
    }
    return OrientUpright(image, orientation);
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
