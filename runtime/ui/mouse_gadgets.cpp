// The gadget kinds that draw their own content and report the mouse: the canvas
// (a widget over its CanvasBitmap) and the clickable image.
#include "runtime/image/canvas_bitmap.h"
#include "runtime/ui/events.h"
#include "runtime/ui/gadgets.h"
#include "runtime/ui/internal.h"

#include <QEnterEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

namespace {

int ButtonBit(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

class CanvasWidget : public QWidget {
  public:
    CanvasWidget(QWidget *parent, int64_t gadget) : QWidget(parent), gadget(gadget) {
        setMouseTracking(true); // moves without a button held are events too
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    int64_t gadget;

  protected:
    GadgetRecord *Record() {
        GadgetRecord *record = GadgetOfKind(gadget, GadgetKindCanvas);
        return record && record->handle == this ? record : nullptr;
    }

    // Pointer position in the drawing area, which is the whole gadget.
    void Report(GadgetRecord *record, int64_t type, QPointF position) {
        record->mouseX = int(position.x());
        record->mouseY = int(position.y());
        QueueToolkitEvent(EventGadget, record->window, record->number, type, nullptr,
                          record->mouseX, record->mouseY);
    }

    void paintEvent(QPaintEvent *) override {
        GadgetRecord *record = Record();
        if (!record || !record->bitmap) return;
        QPainter painter(this);
        const CanvasBitmap *bitmap = record->bitmap;
        QImage view(bitmap->pixels, bitmap->width, bitmap->height, bitmap->width * 4,
                    QImage::Format_RGBA8888);
        painter.drawImage(0, 0, view);
        // The frame lies over the bitmap's outermost pixels, so the drawing area
        // keeps the gadget's full size (a 256 x 192 sample canvas holds 256 x 192).
        if (record->border) {
            painter.setPen(QColor(0xC8, 0xC8, 0xC8));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }
    void mousePressEvent(QMouseEvent *event) override {
        GadgetRecord *record = Record();
        if (!record) return;
        record->pressed |= ButtonBit(event->button());
        if (event->button() == Qt::LeftButton)
            Report(record, GadgetEventLeftButtonDown, event->position());
        else if (event->button() == Qt::RightButton)
            Report(record, GadgetEventRightButtonDown, event->position());
        else if (event->button() == Qt::MiddleButton)
            Report(record, GadgetEventMiddleButtonDown, event->position());
    }
    void mouseReleaseEvent(QMouseEvent *event) override {
        GadgetRecord *record = Record();
        if (!record) return;
        int bit = ButtonBit(event->button());
        bool clicked = (record->pressed & bit) && rect().contains(event->position().toPoint());
        record->pressed &= ~bit;
        if (event->button() == Qt::LeftButton) {
            Report(record, GadgetEventLeftButtonUp, event->position());
            if (clicked && (record = Record()))
                Report(record, GadgetEventLeftClick, event->position());
        } else if (event->button() == Qt::RightButton) {
            Report(record, GadgetEventRightButtonUp, event->position());
            if (clicked && (record = Record()))
                Report(record, GadgetEventRightClick, event->position());
        } else if (event->button() == Qt::MiddleButton) {
            Report(record, GadgetEventMiddleButtonUp, event->position());
        }
    }
    void mouseMoveEvent(QMouseEvent *event) override {
        if (GadgetRecord *record = Record())
            Report(record, GadgetEventMouseMove, event->position());
    }
    void enterEvent(QEnterEvent *event) override {
        if (GadgetRecord *record = Record())
            Report(record, GadgetEventMouseEnter, event->position());
    }
    void leaveEvent(QEvent *) override {
        GadgetRecord *record = Record();
        if (!record) return;
        QueueToolkitEvent(EventGadget, record->window, record->number, GadgetEventMouseLeave,
                          nullptr, record->mouseX, record->mouseY);
    }
    void wheelEvent(QWheelEvent *event) override {
        if (GadgetRecord *record = Record())
            Report(record, GadgetEventMouseWheel, event->position());
    }
};

// Shows a copy of a picture at the top-left corner, at its own size unless a
// display size was set; a press and release of a button on it is a click.
class ImageWidget : public QFrame {
  public:
    ImageWidget(QWidget *parent, int64_t gadget) : QFrame(parent), gadget(gadget) {}
    int64_t gadget;

  protected:
    GadgetRecord *Record() {
        GadgetRecord *record = GadgetOfKind(gadget, GadgetKindImage);
        return record && record->handle == this ? record : nullptr;
    }
    void paintEvent(QPaintEvent *event) override {
        QFrame::paintEvent(event);
        GadgetRecord *record = Record();
        if (!record || record->picture.isNull()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QRect area = contentsRect();
        QSize size = record->picture.size();
        if (record->displayWidth > 0 && record->displayHeight > 0)
            size = QSize(record->displayWidth, record->displayHeight);
        painter.setClipRect(area);
        painter.drawImage(QRect(area.topLeft(), size), record->picture);
    }
    void mousePressEvent(QMouseEvent *event) override {
        if (GadgetRecord *record = Record()) record->pressed |= ButtonBit(event->button());
    }
    void mouseReleaseEvent(QMouseEvent *event) override {
        GadgetRecord *record = Record();
        if (!record) return;
        int bit = ButtonBit(event->button());
        bool clicked = (record->pressed & bit) && rect().contains(event->position().toPoint());
        record->pressed &= ~bit;
        if (!clicked) return;
        if (event->button() == Qt::LeftButton)
            QueueToolkitEvent(EventGadget, record->window, record->number, GadgetEventLeftClick);
        else if (event->button() == Qt::RightButton)
            QueueToolkitEvent(EventGadget, record->window, record->number, GadgetEventRightClick);
    }
};

CanvasBitmap *BitmapOfCanvas(int64_t gadget) {
    GadgetRecord *record = GadgetOfKind(gadget, GadgetKindCanvas);
    return record ? record->bitmap : nullptr;
}

void RedisplayCanvas(int64_t gadget) {
    if (GadgetRecord *record = GadgetOfKind(gadget, GadgetKindCanvas)) record->handle->update();
}

} // namespace

QWidget *NewCanvasWidget(QWidget *parent, int64_t gadget) {
    return new CanvasWidget(parent, gadget);
}
QWidget *NewImageWidget(QWidget *parent, int64_t gadget) {
    return new ImageWidget(parent, gadget);
}

void InstallCanvasResolver() {
    SetCanvasResolver(BitmapOfCanvas, RedisplayCanvas);
}
