#include "runtime/image/platform_reader.h"

#include "runtime/base/decoder_messages.h"
#include "runtime/base/failure_reason.h"
#include "runtime/base/paths.h"
#include "runtime/image/cut_short.h"
#include "runtime/image/images.h"
#include "runtime/image/premultiply.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// The open file and its reader until the picture is decoded, then the picture.
struct PlatformPicture {
    QFile file;
    std::unique_ptr<QImageReader> reader;
    QSize size;   // as the file's head says, else as decoded
    QImage image; // once decoded
    bool decoded = false;
    bool sizeStated = false;  // the head told the size
    int ownedDescriptor = -1; // closed with the picture when it opened the file itself
    ~PlatformPicture() {
        reader.reset();
        file.close();
        if (ownedDescriptor >= 0) close(ownedDescriptor);
    }
};

namespace {

// Qt refuses pictures above its allocation limit (128 MB by default in 6.4) without a
// word; the largest image the program can hold is 32767 x 32767 pixels, and a
// 16-bit-per-channel file of that size needs 8 bytes per pixel while decoding.
constexpr int ReaderAllocationLimitMb = 8 * 1024 + 64;
// A picture whose head does not state its size (an MNG, say) is read under a
// limit of this size instead: a 290-byte MNG file claiming 4 x 167772161 pixels
// otherwise made Qt fill 6 GB.
constexpr int UnstatedSizeLimitMb = 512;

// Reads of pictures with a stated size run side by side under the large limit;
// one without is read alone, with the smaller limit set for its duration.
std::shared_mutex &ReadingLock() {
    static std::shared_mutex lock;
    return lock;
}

// Decodes the open picture once; its size is then the decoded one.
bool ReadThroughReader(PlatformPicture *picture, QImage *into) {
    DecoderMessages quiet; // what the plug-ins' libraries print about the file
    if (picture->sizeStated) {
        std::shared_lock<std::shared_mutex> hold(ReadingLock());
        return picture->reader->read(into);
    }
    std::unique_lock<std::shared_mutex> hold(ReadingLock());
    QImageReader::setAllocationLimit(UnstatedSizeLimitMb);
    bool read = picture->reader->read(into);
    QImageReader::setAllocationLimit(ReaderAllocationLimitMb);
    return read;
}

bool DecodePicture(PlatformPicture *picture) {
    if (picture->decoded) return !picture->image.isNull();
    picture->decoded = true;
    // Readers that skip pixels (run-length bitmaps) leave them as the memory
    // was, and fresh memory may hold an earlier picture: hand the reader a
    // cleared picture of its own size and format, which it decodes into.
    QImage::Format format = picture->reader->imageFormat();
    if (picture->sizeStated && format != QImage::Format_Invalid) {
        picture->image = QImage(picture->size, format);
        if (picture->image.isNull()) return false;
        picture->image.fill(0);
    }
    if (!ReadThroughReader(picture, &picture->image) || picture->image.isNull()) {
        picture->image = QImage();
        return false;
    }
    picture->size = picture->image.size();
    return true;
}

// Four-byte formats whose pixels turn into R, G, B, A in place with no loss:
// Qt's 32-bit formats hold B, G, R, A (or B, G, R, 0xFF) in memory on this
// little-endian machine, straight colour.
bool SwizzlesInPlace(QImage::Format format) {
    return format == QImage::Format_ARGB32 || format == QImage::Format_RGB32 ||
           format == QImage::Format_RGBA8888 || format == QImage::Format_RGBX8888;
}

// The rows of a 32-bit picture in `format` to straight R, G, B, A in place.
void ToRgbaInPlace(unsigned char *pixels, int64_t width, int64_t height, int64_t pitch,
                   QImage::Format format) {
    bool swap = format == QImage::Format_ARGB32 || format == QImage::Format_RGB32;
    bool opaque = format == QImage::Format_RGB32 || format == QImage::Format_RGBX8888;
    if (!swap && !opaque) return;
    for (int64_t y = 0; y < height; y++) {
        unsigned char *p = pixels + y * pitch;
        for (int64_t x = 0; x < width; x++, p += 4) {
            if (swap) std::swap(p[0], p[2]);
            if (opaque) p[3] = 0xFF;
        }
    }
}

} // namespace

void StartPlatformReader() {
    // The limit is one process-wide setting: set it once, not from every
    // thread that reads a picture.
    static std::once_flag started;
    std::call_once(started, [] {
        if (QImageReader::allocationLimit() < ReaderAllocationLimitMb)
            QImageReader::setAllocationLimit(ReaderAllocationLimitMb);
        // Loads the plug-ins here; what they print on loading (a missing
        // runtime folder, no descriptors left) is not the user's business.
        DecoderMessages quiet;
        QImageReader::supportedImageFormats();
    });
}

PlatformPicture *OpenPlatformPicture(const String &path) {
    // Only regular files are read: a named pipe or a device would block the
    // reader for good. The file is opened without waiting, looked at, and the
    // same descriptor is then read, so nothing can be swapped in between.
    std::string native;
    if (!NativePath(path, &native)) return nullptr;
    int descriptor = OpenRegularFileForReading(native);
    if (descriptor < 0) return nullptr;
    PlatformPicture *picture = OpenPlatformPictureAt(descriptor);
    if (picture)
        picture->ownedDescriptor = descriptor;
    else
        close(descriptor);
    return picture;
}

PlatformPicture *OpenPlatformPictureAt(int descriptor) {
    DecoderMessages quiet; // what the plug-ins' libraries print about the file
    StartPlatformReader(); // a caller that did not start the runtime still reads
    if (lseek(descriptor, 0, SEEK_SET) != 0) return nullptr;
    if (!PngChunksFitTheFile(descriptor)) {
        std::string cut = CutShortReason(descriptor, 0, 0);
        if (!cut.empty()) SetFailureReason(cut);
        return nullptr;
    }
    std::unique_ptr<PlatformPicture> picture(new (std::nothrow) PlatformPicture);
    if (!picture) return nullptr;
    if (!picture->file.open(descriptor, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return nullptr;
    // The content alone chooses the reader: a PNG named .jpg is a PNG.
    picture->reader = std::make_unique<QImageReader>(&picture->file);
    picture->reader->setDecideFormatFromContent(true);
    // Orientation is the caller's business; the picture comes back as stored.
    picture->reader->setAutoTransform(false);
    picture->size = picture->reader->size();
    // No image here holds a side above MaxImageSide: such a file is refused
    // before the reader allocates (and fills) what its head claims.
    if (picture->size.width() > MaxImageSide || picture->size.height() > MaxImageSide)
        return nullptr;
    // Bitmaps whose data ends early are read by Qt all the same, the missing
    // rows made up: such a file is refused, with the reason.
    std::string cut =
        CutShortReason(picture->file.handle(), picture->size.width(), picture->size.height());
    if (!cut.empty()) {
        SetFailureReason(cut);
        return nullptr;
    }
    // A reader that cannot tell the size from the head decodes at once.
    picture->sizeStated = picture->size.isValid() && !picture->size.isEmpty();
    if (!picture->sizeStated) {
        if (!DecodePicture(picture.get())) return nullptr;
    } else if (!picture->reader->canRead()) {
        return nullptr;
    }
    return picture.release();
}

PlatformPicture *ReadPlatformPicture(const String &path) {
    PlatformPicture *picture = OpenPlatformPicture(path);
    if (picture && !DecodePicture(picture)) {
        delete picture;
        return nullptr;
    }
    return picture;
}

int64_t PlatformPictureWidth(const PlatformPicture *picture) {
    return picture->size.width();
}
int64_t PlatformPictureHeight(const PlatformPicture *picture) {
    return picture->size.height();
}

int PlatformPictureOrientation(PlatformPicture *picture) {
    DecoderMessages quiet; // what the plug-ins' libraries print about the file
    // Qt's names for the EXIF orientations 1..8, in that order.
    using T = QImageIOHandler::Transformation;
    static const QImageIOHandler::Transformations orientations[8] = {
        T::TransformationNone,
        T::TransformationMirror,
        T::TransformationRotate180,
        T::TransformationFlip,
        T::TransformationFlipAndRotate90,
        T::TransformationRotate90,
        T::TransformationMirrorAndRotate90,
        T::TransformationRotate270};
    if (!picture->reader) return 0;
    QImageIOHandler::Transformations stated = picture->reader->transformation();
    for (int n = 1; n < 8; n++)
        if (stated == orientations[n]) return n + 1;
    return 0;
}

int64_t PlatformPictureBytes(PlatformPicture *picture, int64_t width, int64_t height) {
    DecoderMessages quiet; // what the plug-ins' libraries print about the file
    const int64_t W = picture->size.width(), H = picture->size.height();
    QImage::Format format =
        picture->decoded ? picture->image.format() : picture->reader->imageFormat();
    int64_t bits =
        format == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(format).bitsPerPixel();
    int64_t decoded = (W * H * bits + 7) / 8;
    if (W == width && H == height)
        return SwizzlesInPlace(format) ? 0
                                       : decoded + W * H * 4; // the picture, then its conversion
    // The smooth scaler works on 32-bit colour, then the scaled copy.
    return decoded + (bits == 32 ? 0 : W * H * 4) + width * height * 4;
}

int ReadPlatformPictureInto(PlatformPicture *picture, unsigned char *pixels, int64_t width,
                            int64_t height, int64_t pitch) {
    DecoderMessages quiet; // what the plug-ins' libraries print about the file
    if (width != picture->size.width() || height != picture->size.height()) return 0;
    QImage::Format format =
        picture->decoded ? picture->image.format() : picture->reader->imageFormat();
    if (!picture->decoded && SwizzlesInPlace(format)) {
        // The reader decodes straight into the caller's memory when it is handed
        // an image of the picture's own size and format: no second copy.
        QImage target(pixels, int(width), int(height), qsizetype(pitch), format);
        picture->decoded = true;
        if (!ReadThroughReader(picture, &target) || target.isNull() || target.width() != width ||
            target.height() != height)
            return 0;
        if (target.constBits() != pixels || !SwizzlesInPlace(target.format())) {
            // The reader chose memory or a format of its own after all: convert
            // from its picture (copied first when it lies in `pixels`).
            picture->image = target.constBits() == pixels ? target.copy() : std::move(target);
            return ReadPlatformPictureInto(picture, pixels, width, height, pitch);
        }
        ToRgbaInPlace(pixels, width, height, pitch, target.format());
        return 1;
    }
    if (!DecodePicture(picture) || picture->image.size() != QSize(int(width), int(height)))
        return 0;
    // Any other format through Qt's conversion to straight R, G, B, A, which
    // keeps every colour, under any alpha, exactly.
    const QImage &source = picture->image;
    QImage rgba = source.format() == QImage::Format_RGBA8888
                      ? source
                      : source.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.isNull()) return 0;
    picture->image = QImage(); // the decoded copy is no longer needed
    for (int64_t y = 0; y < height; y++)
        std::memcpy(pixels + y * pitch, rgba.constScanLine(int(y)), size_t(width) * 4);
    return 1;
}

int DrawPlatformPicture(PlatformPicture *picture, unsigned char *pixels, int64_t width,
                        int64_t height, int64_t pitch) {
    QImage target(pixels, int(width), int(height), qsizetype(pitch),
                  QImage::Format_RGBA8888_Premultiplied);
    if (target.isNull() || !DecodePicture(picture)) return 0;
    QImage &source = picture->image;
    bool sameSize = source.width() == width && source.height() == height;
    // Qt's smooth scaling works on premultiplied colour; converting the decoded
    // picture in place first spares it a converted copy of its own.
    if (!sameSize && source.format() == QImage::Format_ARGB32)
        source.convertTo(QImage::Format_ARGB32_Premultiplied);
    bool hasAlpha = source.hasAlphaChannel();
    // Qt's smooth scaling averages over the source area when shrinking, which a
    // painter's bilinear sampling does not; the painter then copies it in.
    QImage scaled = sameSize ? source
                             : source.scaled(int(width), int(height), Qt::IgnoreAspectRatio,
                                             Qt::SmoothTransformation);
    if (scaled.isNull()) return 0;
    if (!sameSize) source = QImage(); // only the scaled picture is needed now
    {
        QPainter painter(&target);
        if (!painter.isActive()) return 0;
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), scaled);
    }
    if (hasAlpha) UnpremultiplyRgba(pixels, width, height, pitch);
    return 1;
}

int PlatformPictureBits(PlatformPicture *picture) {
    DecoderMessages quiet; // what the plug-ins' libraries print about the file
    QImage::Format format =
        picture->decoded ? picture->image.format() : picture->reader->imageFormat();
    if (format == QImage::Format_Invalid) return 8;
    QPixelFormat pixel = QImage::toPixelFormat(format);
    int channelBits = pixel.colorModel() == QPixelFormat::Grayscale
                          ? pixel.bitsPerPixel()
                          : std::max({pixel.redSize(), pixel.greenSize(), pixel.blueSize()});
    return channelBits > 8 ? 16 : 8;
}

std::string PlatformPictureIcc(PlatformPicture *picture) {
    DecoderMessages quiet;
    if (!DecodePicture(picture)) return std::string();
    const QColorSpace space = picture->image.colorSpace();
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)) return std::string();
    // A PNG's lone gamma of 1/2.2 means sRGB, as the program's own PNG reader
    // takes it.
    if (space.primaries() == QColorSpace::Primaries::SRgb &&
        space.transferFunction() == QColorSpace::TransferFunction::Gamma &&
        std::fabs(space.gamma() - 2.2f) < 0.022f)
        return std::string();
    const QByteArray icc = space.iccProfile();
    return std::string(icc.constData(), size_t(icc.size()));
}

int DrawPlatformPictureDeep(PlatformPicture *picture, uint16_t *pixels, int64_t width,
                            int64_t height, int64_t pitch) {
    if (!DecodePicture(picture)) return 0;
    QImage &source = picture->image;
    bool sameSize = source.width() == width && source.height() == height;
    QImage scaled = sameSize ? source
                             : source.scaled(int(width), int(height), Qt::IgnoreAspectRatio,
                                             Qt::SmoothTransformation);
    if (!sameSize) source = QImage();
    QImage deep = scaled.convertToFormat(QImage::Format_RGBA64);
    if (deep.isNull() || deep.width() != width || deep.height() != height) return 0;
    for (int64_t y = 0; y < height; y++)
        std::memcpy(reinterpret_cast<unsigned char *>(pixels) + y * pitch,
                    deep.constScanLine(int(y)), size_t(width) * 8);
    return 1;
}

PlatformPicture *AdoptDecodedPicture(unsigned char *pixels, int64_t width, int64_t height,
                                     int64_t pitch, int bits) {
    if (!pixels) return nullptr;
    if (width < 1 || height < 1 || width > MaxImageSide || height > MaxImageSide ||
        (bits != 8 && bits != 16)) {
        std::free(pixels);
        return nullptr;
    }
    std::unique_ptr<PlatformPicture> picture(new (std::nothrow) PlatformPicture);
    if (!picture) {
        std::free(pixels);
        return nullptr;
    }
    picture->image = QImage(
        pixels, int(width), int(height), qsizetype(pitch),
        bits == 8 ? QImage::Format_RGBA8888 : QImage::Format_RGBA64, [](void *p) { std::free(p); },
        pixels);
    if (picture->image.isNull()) {
        std::free(pixels);
        return nullptr;
    }
    picture->size = picture->image.size();
    picture->decoded = picture->sizeStated = true;
    return picture.release();
}

void FreePlatformPicture(PlatformPicture *picture) {
    delete picture;
}
