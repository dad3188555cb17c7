// Numbered windows on Qt: a top-level widget holding an optional menu bar and the
// content area the gadgets live in.
#include "runtime/ui/windows.h"
#include "runtime/ui/events.h"
#include "runtime/ui/internal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

ObjectTable<WindowRecord> WindowTable;

namespace {

// The top-level widget: turns the window system's notifications into events.
class WindowWidget : public QWidget {
  public:
    explicit WindowWidget(QWidget *parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

  protected:
    void closeEvent(QCloseEvent *event) override {
        // The application decides whether a window closes.
        event->ignore();
        if (WindowRecord *record = WindowOfWidget(this))
            QueueToolkitEvent(EventCloseWindow, record->number, 0, 0);
    }
    void resizeEvent(QResizeEvent *) override {
        if (WindowRecord *record = WindowOfWidget(this)) {
            ApplyWindowGeometry(*record);
            QueueToolkitEvent(EventSizeWindow, record->number, 0, 0);
        }
    }
    void moveEvent(QMoveEvent *) override {
        if (WindowRecord *record = WindowOfWidget(this))
            QueueToolkitEvent(EventMoveWindow, record->number, 0, 0);
    }
    void changeEvent(QEvent *event) override {
        QWidget::changeEvent(event);
        WindowRecord *record = WindowOfWidget(this);
        if (!record) return;
        if (event->type() == QEvent::ActivationChange) {
            QueueToolkitEvent(isActiveWindow() ? EventActivateWindow : EventDeactivateWindow,
                              record->number, 0, 0);
        } else if (event->type() == QEvent::WindowStateChange) {
            auto *change = static_cast<QWindowStateChangeEvent *>(event);
            bool wasMinimised = change->oldState() & Qt::WindowMinimized;
            if (windowState() & Qt::WindowMinimized)
                QueueToolkitEvent(EventMinimiseWindow, record->number, 0, 0);
            else if (wasMinimised)
                QueueToolkitEvent(EventRestoreWindow, record->number, 0, 0);
        }
    }
};

// The content area: clicks on its background and drops on the window.
class ContentWidget : public QWidget {
  public:
    ContentWidget(QWidget *parent, int64_t window) : QWidget(parent), window(window) {}
    int64_t window;

  protected:
    WindowRecord *Record() {
        WindowRecord *record = ObjectLookup(WindowTable, window);
        return record && record->content == this ? record : nullptr;
    }
    void mousePressEvent(QMouseEvent *event) override {
        WindowRecord *record = Record();
        if (!record) return;
        if (event->button() == Qt::LeftButton)
            QueueToolkitEvent(EventLeftClick, record->number, 0, 0);
        else if (event->button() == Qt::RightButton)
            QueueToolkitEvent(EventRightClick, record->number, 0, 0);
    }
    void dragEnterEvent(QDragEnterEvent *event) override {
        WindowRecord *record = Record();
        if (!record || !AnswerDrag(event, record->dropTypes)) event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent *event) override {
        WindowRecord *record = Record();
        if (!record || !AnswerDrag(event, record->dropTypes)) event->ignore();
    }
    void dropEvent(QDropEvent *event) override {
        WindowRecord *record = Record();
        if (!record) return event->ignore();
        DropRecord *drop = TakeDrop(event, record->dropTypes, event->position().toPoint());
        if (!drop) return;
        // A window drop names the window in both the window and the object field.
        QueueToolkitEvent(EventWindowDrop, record->number, record->number, 0, drop);
    }
};

// The translucent layer of a disabled window: takes every input event itself.
class OverlayWidget : public QWidget {
  public:
    explicit OverlayWidget(QWidget *parent) : QWidget(parent) {
        setFocusPolicy(Qt::StrongFocus);
        setAcceptDrops(true);
    }

  protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(128, 128, 128, 38)); // about 15 % opaque
    }
    bool event(QEvent *event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            event->accept();
            return true;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            event->ignore();
            return true;
        default:
            return QWidget::event(event);
        }
    }
};

void ReleaseWindow(WindowRecord &record) {
    for (WindowTimer &timer : record.timers) timer.timer->stop(); // deleted with the window
    record.timers.clear();
    if (record.handle) {
        record.handle->hide();
        record.handle->deleteLater();
    }
}

struct TableSetUp {
    TableSetUp() {
        WindowTable.growthStep = 8;
        WindowTable.releaseRecord = ReleaseWindow;
    }
} SetUp;

int MenuHeight(const WindowRecord &record) {
    return record.menuBar ? record.menuBar->sizeHint().height() : 0;
}

// The visible, not minimised window that was active before `closing`.
QWidget *PreviousActive(const WindowRecord &closing) {
    QWidget *before = closing.activeAtOpen.data();
    if (before && before != closing.handle && before->isVisible()) return before;
    return nullptr;
}

QRect CentredOn(const QRect &area, int width, int height) {
    return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2,
                 width, height);
}

} // namespace

WindowRecord *WindowOfWidget(const QWidget *top) {
    if (!top) return nullptr;
    std::vector<int64_t> found =
        ObjectNumbersWhere(WindowTable, [top](const WindowRecord &r) { return r.handle == top; });
    return found.empty() ? nullptr : ObjectLookup(WindowTable, found.front());
}

void ApplyWindowGeometry(WindowRecord &record) {
    QWidget *top = record.handle;
    int menu = MenuHeight(record);
    QSize minimum(record.minWidth, record.minHeight + menu);
    QSize maximum(std::min(record.maxWidth, QWIDGETSIZE_MAX),
                  std::min(record.maxHeight + menu, QWIDGETSIZE_MAX));
    if (top->minimumSize() != minimum) top->setMinimumSize(minimum);
    if (top->maximumSize() != maximum) top->setMaximumSize(maximum);
    if (record.menuBar) record.menuBar->setGeometry(0, 0, top->width(), menu);
    record.content->setGeometry(0, menu, top->width(), std::max(0, top->height() - menu));
    if (record.overlay) record.overlay->raise();
}

int64_t OpenAppWindow(int64_t window, int x, int y, int width, int height, const String &title,
                      int64_t flags, int64_t parent) {
    if (!QApplication::instance()) return 0;
    if (ObjectLookup(WindowTable, window)) CloseAppWindow(window);
    int64_t number = 0;
    WindowRecord *record = ObjectAllocate(WindowTable, window, &number);
    if (!record) return 0;

    WindowRecord *parentRecord = parent == -1 ? nullptr : ObjectLookup(WindowTable, parent);
    bool resizable = flags & (WindowFlagResizable | WindowFlagMaximiseButton | WindowFlagMaximised);
    Qt::WindowFlags kind = Qt::Window;
    if (flags & WindowFlagBorderless) {
        kind |= Qt::FramelessWindowHint;
    } else {
        kind |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
        if (flags & WindowFlagMinimiseButton) kind |= Qt::WindowMinimizeButtonHint;
        if (flags & WindowFlagMaximiseButton) kind |= Qt::WindowMaximizeButtonHint;
    }
    auto *top = new WindowWidget(parentRecord ? parentRecord->handle : nullptr, kind);
    width = std::max(width, 1);
    height = std::max(height, 1);

    record->handle = top;
    record->number = number;
    record->parent = parentRecord ? parent : -1;
    record->content = new ContentWidget(top, number);
    record->activeAtOpen = QApplication::activeWindow();
    if (!resizable) {
        record->minWidth = record->maxWidth = width;
        record->minHeight = record->maxHeight = height;
    }
    top->setWindowTitle(ToQString(title));
    top->resize(width, height);
    ApplyWindowGeometry(*record);

    QScreen *screen = QGuiApplication::primaryScreen();
    QRect place(x, y, width, height);
    if (flags & WindowFlagCentredOnParent) {
        QWidget *over = parentRecord ? parentRecord->handle : QApplication::activeWindow();
        if (over)
            place = CentredOn(over->frameGeometry(), width, height);
        else if (screen)
            place = CentredOn(screen->availableGeometry(), width, height);
    } else if (((flags & WindowFlagCentred) || x == KeepValue || y == KeepValue) && screen) {
        place = CentredOn(screen->availableGeometry(), width, height);
    }
    top->move(place.topLeft());

    if (!(flags & WindowFlagNoGadgetList)) SetCurrentGadgetList(record->content, number);
    if (flags & WindowFlagNoActivate) top->setAttribute(Qt::WA_ShowWithoutActivating);
    if (!(flags & WindowFlagInvisible)) {
        if (flags & WindowFlagMaximised)
            top->showMaximized();
        else if (flags & WindowFlagMinimised)
            top->showMinimized();
        else
            top->show();
    }
    return ObjectCreated(window, number, record);
}

void CloseAppWindow(int64_t window) {
    if (window == -1) {
        for (int64_t number :
             ObjectNumbersWhere(WindowTable, [](const WindowRecord &) { return true; }))
            CloseAppWindow(number);
        return;
    }
    if (!ObjectLookup(WindowTable, window)) return;
    // Child windows are Qt children of this window's widget and die with it, so
    // their records go first rather than keep pointers to deleted widgets.
    for (int64_t child : ObjectNumbersWhere(
             WindowTable, [window](const WindowRecord &r) { return r.parent == window; }))
        CloseAppWindow(child);
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    bool wasActive = record->handle->isActiveWindow();
    QPointer<QWidget> before = PreviousActive(*record);
    FreeGadgetsOfWindow(window);
    ForgetGadgetLists(window);
    // Menus die with their window's widgets; their records go with them.
    for (int64_t menu : ObjectNumbersWhere(
             MenuTable, [window](const MenuRecord &m) { return m.window == window; }))
        ObjectRelease(MenuTable, menu);
    ObjectRelease(WindowTable, window);
    if (wasActive && before) before->activateWindow();
}

int WindowExists(int64_t window) {
    return ObjectLookup(WindowTable, window) ? 1 : 0;
}

int64_t WindowPlatformHandle(int64_t window) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    return record ? reinterpret_cast<int64_t>(record->handle) : 0;
}

int WindowInnerWidth(int64_t window) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    return record ? record->content->width() : 0;
}

int WindowInnerHeight(int64_t window) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    return record ? record->content->height() : 0;
}

String WindowCaption(int64_t window) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    return record ? FromQString(record->handle->windowTitle()) : String();
}

void SetWindowCaption(int64_t window, const String &title) {
    if (WindowRecord *record = ObjectLookup(WindowTable, window))
        record->handle->setWindowTitle(ToQString(title));
}

void SetWindowHidden(int64_t window, int hide) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    if (hide)
        record->handle->hide();
    else
        record->handle->show();
}

void ActivateWindow(int64_t window) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    QWidget *top = record->handle;
    if (top->isMinimized()) top->showNormal();
    top->show();
    top->raise();
    top->activateWindow();
}

void SetWindowBackground(int64_t window, int64_t colour) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    QWidget *content = record->content;
    if (colour == -1) {
        content->setAutoFillBackground(false);
        content->setPalette(QPalette());
        return;
    }
    QPalette palette = content->palette();
    palette.setColor(QPalette::Window, ColourOf(colour));
    content->setPalette(palette);
    content->setAutoFillBackground(true);
}

void SetWindowSizeLimits(int64_t window, int minWidth, int minHeight, int maxWidth, int maxHeight) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    if (minWidth != KeepValue) record->minWidth = std::max(minWidth, 0);
    if (minHeight != KeepValue) record->minHeight = std::max(minHeight, 0);
    if (maxWidth != KeepValue) record->maxWidth = std::max(maxWidth, record->minWidth);
    if (maxHeight != KeepValue) record->maxHeight = std::max(maxHeight, record->minHeight);
    // Setting the minimum grows a smaller window to it.
    ApplyWindowGeometry(*record);
}

void ResizeAppWindow(int64_t window, int width, int height) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    if (width == KeepValue) width = record->content->width();
    if (height == KeepValue) height = record->content->height();
    record->handle->resize(width, height + MenuHeight(*record));
    ApplyWindowGeometry(*record); // a hidden window gets no resize event until shown
}

void SetWindowDisabled(int64_t window, int state) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    if (state && !record->overlay) {
        record->overlay = new OverlayWidget(record->handle);
        record->overlay->setGeometry(0, 0, 4096, 4096);
        record->overlay->show();
        record->overlay->raise();
        record->overlay->setFocus();
    } else if (!state && record->overlay) {
        record->overlay->hide();
        record->overlay->deleteLater();
        record->overlay = nullptr;
    }
}

void SetWindowFloating(int64_t window, int state) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    QWidget *top = record->handle;
    bool visible = top->isVisible();
    top->setWindowFlag(Qt::WindowStaysOnTopHint, state != 0);
    // Changing the window flags hides a window; show it again as it was.
    if (visible) top->show();
}
