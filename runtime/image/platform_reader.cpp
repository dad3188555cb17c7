#include "runtime/image/platform_reader.h"

#include "runtime/base/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

struct PlatformPicture {
    QImage image;
};

namespace {

// Qt refuses pictures above its allocation limit (128 MB by default in 6.4) without a
// word; the largest image the program can hold is 32767 x 32767 pixels, and a
// 16-bit-per-channel file of that size needs 8 bytes per pixel while decoding.
constexpr int ReaderAllocationLimitMb = 8 * 1024 + 64;

// Premultiplied R, G, B, A pixels to straight colour, in place. A fully
// transparent pixel keeps colour 0.
void UnpremultiplyRgba(unsigned char *pixels, int64_t width, int64_t height, int64_t pitch) {
    for (int64_t y = 0; y < height; y++) {
        unsigned char *p = pixels + y * pitch;
        for (int64_t x = 0; x < width; x++, p += 4) {
            unsigned a = p[3];
            if (a == 255) continue;
            if (a == 0) {
                p[0] = p[1] = p[2] = 0;
                continue;
            }
            for (int c = 0; c < 3; c++) {
                unsigned v = (p[c] * 255u + a / 2) / a;
                p[c] = (unsigned char)(v > 255 ? 255 : v);
            }
        }
    }
}

} // namespace

PlatformPicture *ReadPlatformPicture(const String &path) {
    // The limit is one process-wide setting: set it once, not from every
    // thread that reads a picture.
    static std::once_flag limitSet;
    std::call_once(limitSet, [] {
        if (QImageReader::allocationLimit() < ReaderAllocationLimitMb)
            QImageReader::setAllocationLimit(ReaderAllocationLimitMb);
    });
    // Only regular files are read: a named pipe or a device would block the
    // reader for good. The file is opened without waiting, looked at, and the
    // same descriptor is then read, so nothing can be swapped in between.
    QString name = QString::fromUtf16(path.data(), qsizetype(path.size()));
    QByteArray native = QFile::encodeName(name);
    int descriptor = OpenRegularFileForReading(native.toStdString());
    if (descriptor < 0) return nullptr;
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(descriptor);
        return nullptr;
    }
    // The name's extension still guides the choice of reader, as for a path.
    QImageReader reader(&file, QFileInfo(name).suffix().toLower().toLatin1());
    // Orientation is the caller's business; the picture comes back as stored.
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image) || image.isNull()) return nullptr;
    auto *picture = new (std::nothrow) PlatformPicture;
    if (!picture) return nullptr;
    picture->image = std::move(image);
    return picture;
}

int64_t PlatformPictureWidth(const PlatformPicture *picture) {
    return picture->image.width();
}
int64_t PlatformPictureHeight(const PlatformPicture *picture) {
    return picture->image.height();
}

int DrawPlatformPicture(const PlatformPicture *picture, unsigned char *pixels, int64_t width,
                        int64_t height, int64_t pitch) {
    QImage target(pixels, int(width), int(height), qsizetype(pitch),
                  QImage::Format_RGBA8888_Premultiplied);
    if (target.isNull()) return 0;
    const QImage &source = picture->image;
    // Qt's smooth scaling averages over the source area when shrinking, which a
    // painter's bilinear sampling does not; the painter then copies it in.
    QImage scaled = source.width() == width && source.height() == height
                        ? source
                        : source.scaled(int(width), int(height), Qt::IgnoreAspectRatio,
                                        Qt::SmoothTransformation);
    if (scaled.isNull()) return 0;
    {
        QPainter painter(&target);
        if (!painter.isActive()) return 0;
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), scaled);
    }
    if (source.hasAlphaChannel()) UnpremultiplyRgba(pixels, width, height, pitch);
    return 1;
}

void FreePlatformPicture(PlatformPicture *picture) {
    delete picture;
}
