// Gadget creation on Qt widgets, the gadget table and the current gadget list.
// Each kind is one widget class; user actions become gadget events through the
// widgets' signals and one event filter (focus, drags, clicks in scroll areas).
#include "runtime/ui/gadgets.h"
#include "runtime/image/canvas_bitmap.h"
#include "runtime/ui/events.h"
#include "runtime/ui/internal.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextEdit>
#include <QValidator>

ObjectTable<GadgetRecord> GadgetTable;

namespace {

const char *const GadgetProperty = "toolkitGadget";

struct GadgetList {
    QWidget *parent = nullptr;
    int64_t window = 0;
};
// The bottom entry is the content of the most recently opened window; containers
// and scroll areas stack above it until EndContainer.
std::vector<GadgetList> GadgetLists;

void ReleaseGadget(GadgetRecord &record) {
    if (record.bitmap) FreeCanvasBitmap(record.bitmap);
    record.bitmap = nullptr;
    if (record.handle) {
        // The widget may be inside its own signal; it goes when the loop is next entered.
        record.handle->disconnect();
        record.handle->setProperty(GadgetProperty, QVariant());
        record.handle->hide();
        record.handle->deleteLater();
    }
}

struct TableSetUp {
    TableSetUp() {
        GadgetTable.growthStep = 16;
        GadgetTable.releaseRecord = ReleaseGadget;
    }
} SetUp;

void Queue(const GadgetRecord &record, int64_t type) {
    QueueToolkitEvent(EventGadget, record.window, record.number, type);
}

// Focus changes, drags and clicks on a scroll area's background.
class GadgetFilter : public QObject {
  public:
    bool eventFilter(QObject *watched, QEvent *event) override {
        GadgetRecord *record = GadgetOfWidget(watched);
        if (!record) return false;
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            if (record->kind == GadgetKindString || record->kind == GadgetKindComboBox ||
                record->kind == GadgetKindEditor)
                Queue(*record,
                      event->type() == QEvent::FocusIn ? GadgetEventFocus : GadgetEventLostFocus);
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (watched != record->dropTarget || !record->dropTypes) return false;
            if (!AnswerDrag(static_cast<QDragMoveEvent *>(event), record->dropTypes))
                event->ignore();
            return true;
        case QEvent::Drop: {
            if (watched != record->dropTarget || !record->dropTypes) return false;
            auto *drop = static_cast<QDropEvent *>(event);
            QPoint at =
                static_cast<QWidget *>(watched)->mapTo(record->handle, drop->position().toPoint());
            if (DropRecord *taken = TakeDrop(drop, record->dropTypes, at))
                QueueToolkitEvent(EventGadgetDrop, record->window, record->number, 0, taken);
            return true;
        }
        case QEvent::MouseButtonPress:
            if (record->kind == GadgetKindScrollArea &&
                static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                Queue(*record, GadgetEventLeftClick);
            return false;
        default:
            return false;
        }
    }
};

GadgetFilter *Filter() {
    static GadgetFilter *filter = new GadgetFilter;
    return filter;
}

// Marks a widget (and, for scrolling kinds, its viewport) as the gadget's.
void Tag(QObject *object, int64_t number) {
    object->setProperty(GadgetProperty, QVariant::fromValue<qlonglong>(number));
    object->installEventFilter(Filter());
}

// Case conversion and the digits-only rule of string gadgets.
class StringValidator : public QValidator {
  public:
    StringValidator(QObject *parent, int64_t flags) : QValidator(parent), flags(flags) {}
    int64_t flags;
    State validate(QString &input, int &) const override {
        if (flags & StringFlagUpperCase)
            input = input.toUpper();
        else if (flags & StringFlagLowerCase)
            input = input.toLower();
        if (flags & StringFlagNumeric)
            for (QChar c : input)
                if (c < u'0' || c > u'9') return Invalid;
        return Acceptable;
    }
};

// A spin whose field accepts any number, so a typed value outside the range
// reaches the application (which clamps it); the arrows stay within the range
// and do not wrap.
class SpinWidget : public QSpinBox {
  public:
    SpinWidget(QWidget *parent, int64_t gadget) : QSpinBox(parent), gadget(gadget) {
        setRange(-999999999, 999999999);
        setWrapping(false);
    }
    int64_t gadget;

    void stepBy(int steps) override {
        GadgetRecord *record = GadgetOfKind(gadget, GadgetKindSpin);
        if (!record) return;
        int64_t next = int64_t(value()) + steps;
        next = std::clamp<int64_t>(next, record->spinMinimum, record->spinMaximum);
        setValue(int(next));
    }

  protected:
    StepEnabled stepEnabled() const override {
        GadgetRecord *record = GadgetOfKind(gadget, GadgetKindSpin);
        if (!record) return StepNone;
        StepEnabled enabled = StepNone;
        if (value() < record->spinMaximum) enabled |= StepUpEnabled;
        if (value() > record->spinMinimum) enabled |= StepDownEnabled;
        return enabled;
    }
};

// Allocates the record and makes the widget in the current gadget list. `make`
// builds the widget for a parent and the gadget number.
template <typename Make>
GadgetRecord *NewGadget(int64_t gadget, int kind, int x, int y, int width, int height,
                        int64_t flags, Make make) {
    if (GadgetLists.empty()) return nullptr;
    if (ObjectLookup(GadgetTable, gadget)) FreeGadget(gadget);
    int64_t number = 0;
    GadgetRecord *record = ObjectAllocate(GadgetTable, gadget, &number);
    if (!record) return nullptr;
    const GadgetList &list = GadgetLists.back();
    QWidget *widget = make(list.parent, number);
    record->handle = widget;
    record->number = number;
    record->kind = kind;
    record->window = list.window;
    record->flags = flags;
    record->dropTarget = widget;
    Tag(widget, number);
    widget->setGeometry(x, y, std::max(width, 0), std::max(height, 0));
    widget->show();
    return record;
}

int64_t Answer(int64_t gadget, GadgetRecord *record) {
    return record ? ObjectCreated(gadget, record->number, record) : 0;
}

void FreeRecords(const std::vector<int64_t> &numbers) {
    for (int64_t number : numbers) ObjectRelease(GadgetTable, number);
}

template <typename Match> std::vector<int64_t> GadgetsWhere(Match match) {
    return ObjectNumbersWhere(GadgetTable, match);
}

// A list view shows whole rows only: the height a last row would fill in part
// is left as an empty band, half above and half below the rows.
class WholeRowList : public QListWidget {
  public:
    using QListWidget::QListWidget;

  protected:
    void resizeEvent(QResizeEvent *event) override {
        FitWholeRows();
        QListWidget::resizeEvent(event);
    }
    void rowsInserted(const QModelIndex &parent, int start, int end) override {
        QListWidget::rowsInserted(parent, start, end);
        FitWholeRows();
    }

  private:
    void FitWholeRows() {
        int room = height() - 2 * frameWidth();
        int row = count() > 0 ? sizeHintForRow(0) : 0;
        int spare = row > 0 && room > row ? room % row : 0;
        setViewportMargins(0, spare / 2, 0, spare - spare / 2);
    }
};

} // namespace

GadgetRecord *GadgetOfWidget(const QObject *widget) {
    if (!widget) return nullptr;
    QVariant number = widget->property(GadgetProperty);
    if (!number.isValid()) return nullptr;
    GadgetRecord *record = ObjectLookup(GadgetTable, number.toLongLong());
    if (!record) return nullptr;
    // The tag may sit on a viewport inside the gadget's widget.
    const QObject *owner = widget;
    while (owner && owner != record->handle) owner = owner->parent();
    return owner ? record : nullptr;
}

GadgetRecord *GadgetOfKind(int64_t gadget, int kind) {
    GadgetRecord *record = ObjectLookup(GadgetTable, gadget);
    return record && (kind == 0 || record->kind == kind) ? record : nullptr;
}

void SetCurrentGadgetList(QWidget *parent, int64_t window) {
    GadgetLists.clear();
    GadgetLists.push_back({parent, window});
}

void ForgetGadgetLists(int64_t window) {
    std::erase_if(GadgetLists, [window](const GadgetList &list) { return list.window == window; });
}

void FreeGadgetsOfWindow(int64_t window) {
    FreeRecords(GadgetsWhere([window](const GadgetRecord &r) { return r.window == window; }));
}

void FreeGadget(int64_t gadget) {
    GadgetRecord *record = ObjectLookup(GadgetTable, gadget);
    if (!record) return;
    QWidget *widget = record->handle;
    // Gadgets inside a container or scroll area go with it.
    FreeRecords(GadgetsWhere([widget](const GadgetRecord &r) {
        return r.handle != widget && widget->isAncestorOf(r.handle);
    }));
    QWidget *inside = record->inside;
    std::erase_if(GadgetLists, [widget, inside](const GadgetList &list) {
        return list.parent == inside || widget->isAncestorOf(list.parent);
    });
    ObjectRelease(GadgetTable, gadget);
}

void EndContainer() {
    if (GadgetLists.size() > 1) GadgetLists.pop_back();
}

int64_t ButtonGadget(int64_t gadget, int x, int y, int width, int height, const String &text) {
    GadgetRecord *record =
        NewGadget(gadget, GadgetKindButton, x, y, width, height, 0, [&](QWidget *parent, int64_t) {
            auto *button = new QPushButton(ToQString(text), parent);
            button->setAutoDefault(false);
            return button;
        });
    if (record) {
        int64_t number = record->number;
        QObject::connect(static_cast<QPushButton *>(record->handle), &QPushButton::clicked,
                         [number] {
                             if (GadgetRecord *r = GadgetOfKind(number, GadgetKindButton))
                                 Queue(*r, GadgetEventLeftClick);
                         });
    }
    return Answer(gadget, record);
}

int64_t StringGadget(int64_t gadget, int x, int y, int width, int height, const String &text,
                     int64_t flags) {
    GadgetRecord *record = NewGadget(
        gadget, GadgetKindString, x, y, width, height, flags, [&](QWidget *parent, int64_t) {
            auto *edit = new QLineEdit(ToQString(text), parent);
            if (flags & StringFlagPassword) edit->setEchoMode(QLineEdit::Password);
            if (flags & StringFlagReadOnly) edit->setReadOnly(true);
            if (flags & StringFlagBorderless) edit->setFrame(false);
            if (flags & (StringFlagUpperCase | StringFlagLowerCase | StringFlagNumeric))
                edit->setValidator(new StringValidator(edit, flags));
            return edit;
        });
    if (record) {
        record->exactText = text;
        int64_t number = record->number;
        QObject::connect(static_cast<QLineEdit *>(record->handle), &QLineEdit::textEdited,
                         [number] {
                             if (GadgetRecord *r = GadgetOfKind(number, GadgetKindString))
                                 Queue(*r, GadgetEventChange);
                         });
    }
    return Answer(gadget, record);
}

int64_t TextGadget(int64_t gadget, int x, int y, int width, int height, const String &text,
                   int64_t flags) {
    return Answer(gadget, NewGadget(gadget, GadgetKindText, x, y, width, height, flags,
                                    [&](QWidget *parent, int64_t) {
                                        auto *label = new QLabel(ToQString(text), parent);
                                        label->setTextFormat(Qt::PlainText);
                                        Qt::Alignment align = Qt::AlignLeft;
                                        if (flags & TextFlagRight) align = Qt::AlignRight;
                                        if (flags & TextFlagCentre) align = Qt::AlignHCenter;
                                        label->setAlignment(align | Qt::AlignTop);
                                        if (flags & TextFlagBorder)
                                            label->setFrameStyle(QFrame::Box | QFrame::Plain);
                                        return label;
                                    }));
}

int64_t ImageGadget(int64_t gadget, int x, int y, int width, int height, int64_t image,
                    int64_t flags) {
    GadgetRecord *record = NewGadget(
        gadget, GadgetKindImage, x, y, width, height, flags, [&](QWidget *parent, int64_t number) {
            QWidget *widget = NewImageWidget(parent, number);
            if (flags & ImageFlagFrame)
                static_cast<QFrame *>(widget)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            return widget;
        });
    if (record && image) record->picture = reinterpret_cast<const QImage *>(image)->copy();
    return Answer(gadget, record);
}

int64_t ContainerGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags) {
    GadgetRecord *record = NewGadget(gadget, GadgetKindContainer, x, y, width, height, flags,
                                     [&](QWidget *parent, int64_t) {
                                         auto *frame = new QFrame(parent);
                                         if (flags & ContainerFlagBorder)
                                             frame->setFrameStyle(QFrame::Box | QFrame::Plain);
                                         // Clicking it takes the focus from text fields.
                                         frame->setFocusPolicy(Qt::ClickFocus);
                                         return frame;
                                     });
    if (!record) return 0;
    record->inside = record->handle;
    GadgetLists.push_back({record->inside, record->window});
    return Answer(gadget, record);
}

int64_t ComboBoxGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags) {
    GadgetRecord *record = NewGadget(gadget, GadgetKindComboBox, x, y, width, height, flags,
                                     [&](QWidget *parent, int64_t) {
                                         auto *combo = new QComboBox(parent);
                                         combo->setEditable(flags & ComboFlagEditable);
                                         return combo;
                                     });
    if (record) {
        int64_t number = record->number;
        auto *combo = static_cast<QComboBox *>(record->handle);
        QObject::connect(combo, &QComboBox::activated, [number] {
            if (GadgetRecord *r = GadgetOfKind(number, GadgetKindComboBox))
                Queue(*r, GadgetEventChange);
        });
        if (combo->lineEdit())
            QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, [number] {
                if (GadgetRecord *r = GadgetOfKind(number, GadgetKindComboBox))
                    Queue(*r, GadgetEventChange);
            });
    }
    return Answer(gadget, record);
}

int64_t ListViewGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags) {
    GadgetRecord *record = NewGadget(gadget, GadgetKindListView, x, y, width, height, flags,
                                     [&](QWidget *parent, int64_t) {
                                         auto *list = new WholeRowList(parent);
                                         list->setSelectionMode(QAbstractItemView::SingleSelection);
                                         return list;
                                     });
    if (record) {
        int64_t number = record->number;
        auto *list = static_cast<QListWidget *>(record->handle);
        record->dropTarget = list->viewport();
        Tag(list->viewport(), number);
        // A new row (by mouse or keys) is a change; a click on a row, also the
        // selected one, is a click.
        QObject::connect(list, &QListWidget::currentRowChanged, [number] {
            if (GadgetRecord *r = GadgetOfKind(number, GadgetKindListView))
                Queue(*r, GadgetEventChange);
        });
        QObject::connect(list, &QListWidget::itemClicked, [number] {
            if (GadgetRecord *r = GadgetOfKind(number, GadgetKindListView))
                Queue(*r, GadgetEventLeftClick);
        });
    }
    return Answer(gadget, record);
}

int64_t EditorGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags) {
    GadgetRecord *record = NewGadget(
        gadget, GadgetKindEditor, x, y, width, height, flags, [&](QWidget *parent, int64_t) {
            auto *editor = new QTextEdit(parent);
            editor->setAcceptRichText(false); // typing and pasting give plain text
            editor->setReadOnly(flags & EditorFlagReadOnly);
            editor->setLineWrapMode((flags & EditorFlagWordWrap) ? QTextEdit::WidgetWidth
                                                                 : QTextEdit::NoWrap);
            editor->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            return editor;
        });
    if (record) {
        int64_t number = record->number;
        auto *editor = static_cast<QTextEdit *>(record->handle);
        record->dropTarget = editor->viewport();
        Tag(editor->viewport(), number);
        QObject::connect(editor, &QTextEdit::textChanged, [number] {
            if (GadgetRecord *r = GadgetOfKind(number, GadgetKindEditor))
                Queue(*r, GadgetEventChange);
        });
    }
    return Answer(gadget, record);
}

int64_t SpinGadget(int64_t gadget, int x, int y, int width, int height, int minimum, int maximum,
                   int64_t flags) {
    GadgetRecord *record =
        NewGadget(gadget, GadgetKindSpin, x, y, width, height, flags,
                  [&](QWidget *parent, int64_t number) { return new SpinWidget(parent, number); });
    if (record) {
        int64_t number = record->number;
        record->spinMinimum = std::min(minimum, maximum);
        record->spinMaximum = std::max(minimum, maximum);
        auto *spin = static_cast<SpinWidget *>(record->handle);
        {
            QSignalBlocker quiet(spin);
            spin->setValue(record->spinMinimum);
        }
        if (flags & SpinFlagNotEditable) spin->findChild<QLineEdit *>()->setReadOnly(true);
        QObject::connect(spin, &QSpinBox::valueChanged, [number] {
            if (GadgetRecord *r = GadgetOfKind(number, GadgetKindSpin))
                Queue(*r, GadgetEventChange);
        });
    }
    return Answer(gadget, record);
}

int64_t ScrollAreaGadget(int64_t gadget, int x, int y, int width, int height, int innerWidth,
                         int innerHeight, int step, int64_t flags) {
    GadgetRecord *record = NewGadget(
        gadget, GadgetKindScrollArea, x, y, width, height, flags, [&](QWidget *parent, int64_t) {
            auto *area = new QScrollArea(parent);
            // No frame: the area shows its content's every pixel.
            area->setFrameShape(QFrame::NoFrame);
            area->setWidgetResizable(false);
            auto *inside = new QWidget;
            inside->resize(std::max(innerWidth, 0), std::max(innerHeight, 0));
            area->setWidget(inside);
            return area;
        });
    if (!record) return 0;
    auto *area = static_cast<QScrollArea *>(record->handle);
    record->inside = area->widget();
    record->dropTarget = area->viewport();
    record->scrollStep = std::max(step, 1);
    area->horizontalScrollBar()->setSingleStep(record->scrollStep);
    area->verticalScrollBar()->setSingleStep(record->scrollStep);
    Tag(area->viewport(), record->number);
    Tag(area->widget(), record->number);
    GadgetLists.push_back({record->inside, record->window});
    return Answer(gadget, record);
}

int64_t CanvasGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags) {
    GadgetRecord *record =
        NewGadget(gadget, GadgetKindCanvas, x, y, width, height, flags,
                  [&](QWidget *parent, int64_t number) { return NewCanvasWidget(parent, number); });
    if (!record) return 0;
    record->border = (flags & CanvasFlagBorder) ? 1 : 0;
    record->bitmap = NewCanvasBitmap(width, height);
    if (!record->bitmap) {
        ObjectRelease(GadgetTable, record->number);
        return 0;
    }
    return Answer(gadget, record);
}
