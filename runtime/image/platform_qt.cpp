// The image runtime's Qt side: the displayable view of an image's memory and the
// painter over image memory behind the vector-drawing calls. The only other file
// of this folder that includes Qt is platform_reader.cpp.
#include "runtime/image/images.h"
#include "runtime/image/path_target.h"
#include "runtime/image/platform_image.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <cmath>
#include <new>

void *NewPlatformImage(unsigned char *pixels, int width, int height) {
    QImage *view = new (std::nothrow)
        QImage(pixels, width, height, qsizetype(width) * 4, QImage::Format_RGBA8888);
    if (view && view->isNull()) {
        delete view;
        view = nullptr;
    }
    return view;
}

void FreePlatformImage(void *handle) {
    delete static_cast<QImage *>(handle);
}

void TouchPlatformImage(void *handle) {
    QImage *view = static_cast<QImage *>(handle);
    if (!view) return;
    // A fresh view of the same memory gets a new cache key, so a rendering cached
    // under the old key is not shown again. (bits() would do the same only while
    // nobody holds a shallow copy; with one it would silently copy the pixels.)
    uchar *pixels = const_cast<uchar *>(view->constBits());
    *view = QImage(pixels, view->width(), view->height(), view->bytesPerLine(), view->format());
}

namespace {

// One thread's vector drawing: the prepared image, the painter while open, the
// path being built and its cursor.
struct PathState {
    int64_t image = 0;
    bool prepared = false;
    QImage *view = nullptr;
    QPainter *painter = nullptr;
    QPainterPath path;
    QPointF cursor;

    void Finish() {
        if (painter) painter->end();
        delete painter;
        delete view;
        painter = nullptr;
        view = nullptr;
        prepared = false;
        path = QPainterPath();
        cursor = QPointF();
    }
    ~PathState() { Finish(); }
};

thread_local PathState Path;

// True when the transform only turns by multiples of 90 degrees, mirrors and
// moves by whole pixels: then every target pixel centre falls on a source pixel
// centre and nearest sampling copies pixels exactly.
bool PixelExact(const QTransform &t) {
    auto whole = [](double v) { return v == std::floor(v); };
    bool straight =
        (t.m12() == 0 && t.m21() == 0 && std::fabs(t.m11()) == 1 && std::fabs(t.m22()) == 1) ||
        (t.m11() == 0 && t.m22() == 0 && std::fabs(t.m12()) == 1 && std::fabs(t.m21()) == 1);
    return straight && t.type() <= QTransform::TxRotate && whole(t.dx()) && whole(t.dy());
}

} // namespace

int64_t ImagePathTarget(int64_t image) {
    Path.Finish();
    if (!LookupImage(image)) return 0;
    Path.image = image;
    Path.prepared = true;
    return 1;
}

int64_t OpenPathTarget(int64_t output) {
    // Opening the target that is already open answers its context again.
    if (output && Path.painter) return reinterpret_cast<int64_t>(Path.painter);
    ImageRecord *record = Path.prepared ? LookupImage(Path.image) : nullptr;
    if (!output || !record) {
        Path.Finish();
        return 0;
    }
    Path.view = new (std::nothrow)
        QImage(record->pixels, record->width, record->height, qsizetype(record->width) * 4,
               QImage::Format_RGBA8888_Premultiplied);
    if (!Path.view) {
        Path.Finish();
        return 0;
    }
    Path.painter = new (std::nothrow) QPainter;
    if (!Path.painter || !Path.painter->begin(Path.view)) {
        Path.Finish();
        return 0;
    }
    Path.painter->setRenderHint(QPainter::Antialiasing, true);
    Path.painter->setPen(Qt::black);
    Path.painter->setBrush(Qt::black);
    return reinterpret_cast<int64_t>(Path.painter);
}

double PathTargetWidth() {
    return Path.view ? Path.view->width() : 0.0;
}
double PathTargetHeight() {
    return Path.view ? Path.view->height() : 0.0;
}

void PathTranslate(double dx, double dy) {
    if (Path.painter) Path.painter->translate(dx, dy);
}

void PathRotate(double x, double y, double angle) {
    if (!Path.painter) return;
    Path.painter->translate(x, y);
    Path.painter->rotate(angle);
    Path.painter->translate(-x, -y);
}

void PathMirrorX(double x) {
    if (!Path.painter) return;
    Path.painter->translate(2 * x, 0);
    Path.painter->scale(-1, 1);
}

void PathMirrorY(double y) {
    if (!Path.painter) return;
    Path.painter->translate(0, 2 * y);
    Path.painter->scale(1, -1);
}

void PathMoveTo(double x, double y) {
    Path.path.moveTo(x, y);
    Path.cursor = QPointF(x, y);
}

void PathAddRect(double x, double y, double width, double height) {
    Path.path.moveTo(x, y);
    Path.path.lineTo(x + width, y);
    Path.path.lineTo(x + width, y + height);
    Path.path.lineTo(x, y + height);
    Path.path.closeSubpath();
    Path.cursor = QPointF(x, y);
}

void PathClip() {
    if (Path.painter) {
        Path.path.setFillRule(Qt::OddEvenFill);
        Path.painter->setClipPath(Path.path, Qt::IntersectClip);
    }
    Path.path = QPainterPath();
    Path.cursor = QPointF();
}

int PathDrawImage(int64_t image, int64_t alpha, double width, double height) {
    ImageRecord *record = LookupImage(image);
    if (!Path.painter || !record) return 0;
    // The const constructor makes a read-only view: drawing never writes the source.
    const QImage source(static_cast<const uchar *>(record->pixels), record->width, record->height,
                        qsizetype(record->width) * 4, QImage::Format_RGBA8888);
    if (width <= 0 || height <= 0) width = record->width, height = record->height;
    QRectF place(Path.cursor, QSizeF(width, height));
    bool ownSize = width == record->width && height == record->height;
    QTransform placed = Path.painter->worldTransform();
    placed.translate(Path.cursor.x(), Path.cursor.y());
    bool exact = ownSize && PixelExact(placed);
    Path.painter->save();
    Path.painter->setRenderHint(QPainter::SmoothPixmapTransform, !exact);
    Path.painter->setOpacity(double(alpha) / 255.0);
    Path.painter->drawImage(place, source);
    Path.painter->restore();
    return 1;
}

void ClosePathTarget() {
    ImageRecord *record = Path.painter ? LookupImage(Path.image) : nullptr;
    Path.Finish();
    if (record) TouchPlatformImage(record->handle);
}
