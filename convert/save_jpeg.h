// The JPEG saver: compresses a toned image straight from its drawing buffer with
// the calling thread's own TurboJPEG compressor (4:4:4, see tone/jpeg_handles.h)
// and writes it under the output naming rules, with the source's EXIF orientation
// carried in a small APP1 block. Any number of threads may save at once (the
// window's worker, the batch command's jobs), each on its own image.
#pragma once

#include "runtime/base/string_scratch.h"

#include <algorithm>
#include <cstdint>

// Size of the EXIF block written for an orientation: an APP1 segment holding one
// little-endian TIFF directory with the orientation entry only.
constexpr int ExifOrientationBlockSize = 36;

// Saves `image` at `path` (its name adjusted by the naming rules; extensions
// "jpg"/"jpeg" kept, anything else becomes "_ext.jpg"). Quality is clamped to
// 1..100; above 80 the accurate DCT is used, otherwise the fast one. Orientation
// 0 writes no EXIF block; any other value is written into one right after the
// start-of-image marker and the APP0 segments behind it (pixels are not turned).
// 1 when every byte reached the file (and the name it went under in *placed,
// when given); 0 otherwise, and then no file is left.
int SaveJpeg(int64_t image, const String &path, int64_t quality, int orientation,
             String *placed = nullptr);

// The quality SaveJpeg compresses with, and whether it takes the accurate DCT at
// that quality (otherwise the fast one).
inline int JpegSaveQuality(int64_t quality) {
    return int(std::clamp<int64_t>(quality, 1, 100));
}
inline bool JpegAccurateDct(int quality) {
    return quality > 80;
}

// The EXIF block for `orientation` (its low 8 bits).
void BuildExifOrientationBlock(int orientation, unsigned char block[ExifOrientationBlockSize]);

// Where the EXIF block goes in a JPEG stream: behind the start-of-image marker and
// every APP0 segment that follows it directly.
size_t ExifInsertOffset(const unsigned char *jpeg, size_t length);
