#include "convert/save_jpeg.h"

#include "convert/output_name.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/paths.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "tone/jpeg_handles.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

struct TurboFree {
    void operator()(unsigned char *buffer) const { tjFree(buffer); }
};

// Compresses the image's drawing buffer in its own byte order and row direction.
// Empty on failure (the compressor is then replaced: a failed compression may
// leave it unusable).
std::unique_ptr<unsigned char, TurboFree> CompressImage(int64_t image, int quality,
                                                        unsigned long *size) {
    std::unique_ptr<unsigned char, TurboFree> jpeg;
    if (!StartJpegHandles() || !ImageExists(image) || !OpenDrawTarget(ImageTarget(image)))
        return jpeg;
    int64_t layout = TargetLayout();
    int flags = JpegAccurateDct(quality) ? TJFLAG_ACCURATEDCT : TJFLAG_FASTDCT;
    if (layout & LayoutBottomUp) flags |= TJFLAG_BOTTOMUP;
    unsigned char *buffer = nullptr;
    int result = TargetPixels()
                     ? tjCompress2(JpegCompressor(), TargetPixels(), int(TargetWidth()),
                                   int(TargetPitch()), int(TargetHeight()), JpegPixelFormat(layout),
                                   &buffer, size, TJSAMP_444, quality, flags)
                     : -1;
    CloseDrawTarget();
    jpeg.reset(buffer);
    if (result != 0) {
        jpeg.reset();
        ReplaceJpegCompressor();
    }
    return jpeg;
}

} // namespace

void BuildExifOrientationBlock(int orientation, unsigned char block[ExifOrientationBlockSize]) {
    static const unsigned char layout[ExifOrientationBlockSize] = {
        0xFF, 0xE1, 0x00, 0x22, 'E',  'x',  'i',  'f',  0x00, 0x00, 0x49, 0x49,
        0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0x01, 0x03, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::memcpy(block, layout, ExifOrientationBlockSize);
    block[28] = (unsigned char)(orientation & 0xFF);
}

size_t ExifInsertOffset(const unsigned char *jpeg, size_t length) {
    size_t offset = 2;
    while (offset + 4 <= length && jpeg[offset] == 0xFF && jpeg[offset + 1] == 0xE0) {
        size_t segment = size_t(jpeg[offset + 2]) << 8 | jpeg[offset + 3];
        if (segment < 2 || offset + 2 + segment > length) break;
        offset += 2 + segment;
    }
    return std::min(offset, length);
}

int SaveJpeg(int64_t image, const String &path, int64_t quality, int orientation, String *placed) {
    if (!ImageExists(image)) return 0;
    String name = JpegOutputName(path);
    unsigned long size = 0;
    auto jpeg = CompressImage(image, JpegSaveQuality(quality), &size);
    if (!jpeg) return 0;

    String draft;
    int64_t file = CreateOutputDraft(name, &draft);
    if (!file) return 0;
    bool written;
    if (orientation == 0) {
        written = WriteAllBytes(file, jpeg.get(), size);
    } else {
        unsigned char block[ExifOrientationBlockSize];
        BuildExifOrientationBlock(orientation, block);
        size_t split = ExifInsertOffset(jpeg.get(), size);
        written = WriteAllBytes(file, jpeg.get(), split) &&
                  WriteAllBytes(file, block, ExifOrientationBlockSize) &&
                  WriteAllBytes(file, jpeg.get() + split, size - split);
    }
    // Success means every byte reached the file, so the close counts too.
    bool closed = CloseBinFile(file) != 0;
    if (written && closed && PlaceOutputFile(draft, &name, JpegExtension)) {
        if (placed) *placed = name;
        return 1;
    }
    if (!(written && closed)) DiscardOutputDraft(draft);
    return 0;
}
