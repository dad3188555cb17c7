// Operations on existing gadgets: texts, states, items, attributes, colours,
// visibility, geometry, focus and the per-kind platform settings. Changes made
// here are the program's own, so signals are blocked and raise no events.
#include "runtime/image/canvas_bitmap.h"
#include "runtime/ui/gadgets.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/windows.h"

#include <cstring>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace {

GadgetRecord *Find(int64_t gadget) {
    return ObjectLookup(GadgetTable, gadget);
}

QLineEdit *SpinField(QWidget *spin) {
    return spin->findChild<QLineEdit *>();
}

// The text cursor selecting line `item` of an editor (the whole block).
QTextCursor LineCursor(QTextEdit *editor, int item) {
    QTextBlock block = editor->document()->findBlockByNumber(item);
    QTextCursor cursor(editor->document());
    if (!block.isValid()) return cursor;
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    return cursor;
}

} // namespace

int IsGadget(int64_t gadget) {
    return Find(gadget) ? 1 : 0;
}

int GadgetKind(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    return record ? record->kind : 0;
}

int64_t ControlPlatformHandle(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    return record ? reinterpret_cast<int64_t>(record->handle) : 0;
}

int GadgetX(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    return record ? record->handle->x() : 0;
}
int GadgetY(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    return record ? record->handle->y() : 0;
}
int GadgetWidth(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    return record ? record->handle->width() : 0;
}
int GadgetHeight(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    return record ? record->handle->height() : 0;
}

String GetGadgetText(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    if (!record) return String();
    QWidget *w = record->handle;
    switch (record->kind) {
    case GadgetKindButton:
        return FromQString(static_cast<QAbstractButton *>(w)->text());
    case GadgetKindString: {
        QString shown = static_cast<QLineEdit *>(w)->text();
        return shown == ToQString(record->exactText) ? record->exactText : FromQString(shown);
    }
    case GadgetKindText:
        return FromQString(static_cast<QLabel *>(w)->text());
    case GadgetKindComboBox:
        return FromQString(static_cast<QComboBox *>(w)->currentText());
    case GadgetKindListView: {
        QListWidgetItem *item = static_cast<QListWidget *>(w)->currentItem();
        return item ? FromQString(item->text()) : String();
    }
    case GadgetKindEditor:
        return FromQString(static_cast<QTextEdit *>(w)->toPlainText());
    case GadgetKindSpin:
        return FromQString(SpinField(w)->text()); // as typed, even out of range
    default:
        return String();
    }
}

void SetGadgetText(int64_t gadget, const String &text) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    QWidget *w = record->handle;
    QSignalBlocker quiet(w);
    QString value = ToQString(text);
    switch (record->kind) {
    case GadgetKindButton:
        static_cast<QAbstractButton *>(w)->setText(value);
        break;
    case GadgetKindString:
        record->exactText = text;
        static_cast<QLineEdit *>(w)->setText(value);
        break;
    case GadgetKindText:
        static_cast<QLabel *>(w)->setText(value);
        break;
    case GadgetKindComboBox: {
        auto *combo = static_cast<QComboBox *>(w);
        if (combo->isEditable())
            combo->setEditText(value);
        else
            combo->setCurrentIndex(combo->findText(value));
        break;
    }
    case GadgetKindEditor:
        static_cast<QTextEdit *>(w)->setPlainText(value);
        break;
    case GadgetKindSpin: {
        bool number = false;
        int n = value.trimmed().toInt(&number);
        if (number)
            static_cast<QSpinBox *>(w)->setValue(n);
        else
            SpinField(w)->setText(value);
        break;
    }
    default:
        break;
    }
}

int64_t GetGadgetState(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    if (!record) return 0;
    QWidget *w = record->handle;
    switch (record->kind) {
    case GadgetKindComboBox:
        return static_cast<QComboBox *>(w)->currentIndex();
    case GadgetKindListView:
        return static_cast<QListWidget *>(w)->currentRow();
    case GadgetKindSpin:
        return static_cast<QSpinBox *>(w)->value();
    default:
        return 0;
    }
}

void SetGadgetState(int64_t gadget, int64_t state) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    QWidget *w = record->handle;
    QSignalBlocker quiet(w);
    switch (record->kind) {
    case GadgetKindComboBox:
        static_cast<QComboBox *>(w)->setCurrentIndex(int(state));
        break;
    case GadgetKindListView:
        static_cast<QListWidget *>(w)->setCurrentRow(int(state));
        break;
    case GadgetKindSpin:
        static_cast<QSpinBox *>(w)->setValue(int(state));
        break;
    case GadgetKindImage: {
        const auto *source = reinterpret_cast<const QImage *>(state);
        QImage &picture = record->picture;
        // A picture of the same shape is copied into the one the gadget holds: a
        // re-toned preview of many megapixels then costs one copy, with no fresh
        // memory to fault in and no old block to give back.
        if (source && !picture.isNull() && picture.size() == source->size() &&
            picture.format() == source->format() &&
            picture.bytesPerLine() == source->bytesPerLine())
            std::memcpy(picture.bits(), source->constBits(), size_t(source->sizeInBytes()));
        else
            picture = source ? source->copy() : QImage();
        w->update();
        break;
    }
    default:
        break;
    }
}

void AddGadgetItem(int64_t gadget, int position, const String &text) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    QWidget *w = record->handle;
    QSignalBlocker quiet(w);
    QString value = ToQString(text);
    switch (record->kind) {
    case GadgetKindComboBox: {
        auto *combo = static_cast<QComboBox *>(w);
        combo->insertItem(position < 0 ? combo->count() : position, value);
        break;
    }
    case GadgetKindListView: {
        auto *list = static_cast<QListWidget *>(w);
        list->insertItem(position < 0 ? list->count() : position, value);
        break;
    }
    case GadgetKindEditor: {
        auto *editor = static_cast<QTextEdit *>(w);
        QTextDocument *document = editor->document();
        QTextCursor cursor(document);
        bool empty = document->isEmpty();
        if (position < 0 || position >= document->blockCount()) {
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(empty ? value : QStringLiteral("\n") + value);
        } else {
            cursor.setPosition(document->findBlockByNumber(position).position());
            cursor.insertText(value + QStringLiteral("\n"));
        }
        break;
    }
    default:
        break;
    }
}

void SetGadgetItemText(int64_t gadget, int item, const String &text) {
    GadgetRecord *record = Find(gadget);
    if (!record || item < 0) return;
    QWidget *w = record->handle;
    QSignalBlocker quiet(w);
    switch (record->kind) {
    case GadgetKindComboBox:
        if (item < static_cast<QComboBox *>(w)->count())
            static_cast<QComboBox *>(w)->setItemText(item, ToQString(text));
        break;
    case GadgetKindListView:
        if (QListWidgetItem *row = static_cast<QListWidget *>(w)->item(item))
            row->setText(ToQString(text));
        break;
    case GadgetKindEditor:
        if (item < static_cast<QTextEdit *>(w)->document()->blockCount())
            LineCursor(static_cast<QTextEdit *>(w), item).insertText(ToQString(text));
        break;
    default:
        break;
    }
}

String GetGadgetItemText(int64_t gadget, int item) {
    GadgetRecord *record = Find(gadget);
    if (!record || item < 0) return String();
    QWidget *w = record->handle;
    switch (record->kind) {
    case GadgetKindComboBox:
        if (item < static_cast<QComboBox *>(w)->count())
            return FromQString(static_cast<QComboBox *>(w)->itemText(item));
        return String();
    case GadgetKindListView:
        if (QListWidgetItem *row = static_cast<QListWidget *>(w)->item(item))
            return FromQString(row->text());
        return String();
    case GadgetKindEditor: {
        QTextBlock block = static_cast<QTextEdit *>(w)->document()->findBlockByNumber(item);
        return block.isValid() ? FromQString(block.text()) : String();
    }
    default:
        return String();
    }
}

int CountGadgetItems(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    if (!record) return 0;
    QWidget *w = record->handle;
    switch (record->kind) {
    case GadgetKindComboBox:
        return static_cast<QComboBox *>(w)->count();
    case GadgetKindListView:
        return static_cast<QListWidget *>(w)->count();
    case GadgetKindEditor: {
        QTextDocument *document = static_cast<QTextEdit *>(w)->document();
        return document->isEmpty() ? 0 : document->blockCount();
    }
    default:
        return 0;
    }
}

void ClearGadgetItems(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    QWidget *w = record->handle;
    QSignalBlocker quiet(w);
    switch (record->kind) {
    case GadgetKindComboBox:
        static_cast<QComboBox *>(w)->clear();
        break;
    case GadgetKindListView:
        static_cast<QListWidget *>(w)->clear();
        break;
    case GadgetKindEditor:
        static_cast<QTextEdit *>(w)->clear();
        break;
    default:
        break;
    }
}

int64_t GetGadgetAttribute(int64_t gadget, int attribute) {
    GadgetRecord *record = Find(gadget);
    if (!record) return 0;
    switch (record->kind) {
    case GadgetKindCanvas: {
        int x = record->mouseX, y = record->mouseY;
        CurrentEventMouse(gadget, &x, &y); // the current event's position when it is this canvas's
        if (attribute == CanvasAttributeMouseX) return x;
        if (attribute == CanvasAttributeMouseY) return y;
        if (attribute == CanvasAttributeWidth) return record->bitmap ? record->bitmap->width : 0;
        if (attribute == CanvasAttributeHeight) return record->bitmap ? record->bitmap->height : 0;
        return 0;
    }
    case GadgetKindScrollArea: {
        auto *area = static_cast<QScrollArea *>(record->handle);
        switch (attribute) {
        case ScrollAttributeInnerWidth:
            return area->widget()->width();
        case ScrollAttributeInnerHeight:
            return area->widget()->height();
        case ScrollAttributeX:
            return area->horizontalScrollBar()->value();
        case ScrollAttributeY:
            return area->verticalScrollBar()->value();
        case ScrollAttributeStep:
            return record->scrollStep;
        default:
            return 0;
        }
    }
    case GadgetKindSpin:
        if (attribute == SpinAttributeMinimum) return record->spinMinimum;
        if (attribute == SpinAttributeMaximum) return record->spinMaximum;
        return 0;
    case GadgetKindString:
        if (attribute == StringAttributeMaxLength) {
            int length = static_cast<QLineEdit *>(record->handle)->maxLength();
            return length == 32767 ? 0 : length; // Qt's default means "no limit"
        }
        return 0;
    default:
        return 0;
    }
}

void SetGadgetAttribute(int64_t gadget, int attribute, int64_t value) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    QSignalBlocker quiet(record->handle);
    switch (record->kind) {
    case GadgetKindScrollArea: {
        auto *area = static_cast<QScrollArea *>(record->handle);
        QWidget *inside = area->widget();
        int v = int(std::clamp<int64_t>(value, 0, QWIDGETSIZE_MAX));
        switch (attribute) {
        case ScrollAttributeInnerWidth:
            inside->resize(v, inside->height());
            break;
        case ScrollAttributeInnerHeight:
            inside->resize(inside->width(), v);
            break;
        case ScrollAttributeX:
            area->horizontalScrollBar()->setValue(v);
            break;
        case ScrollAttributeY:
            area->verticalScrollBar()->setValue(v);
            break;
        case ScrollAttributeStep:
            record->scrollStep = std::max(v, 1);
            area->horizontalScrollBar()->setSingleStep(record->scrollStep);
            area->verticalScrollBar()->setSingleStep(record->scrollStep);
            break;
        default:
            break;
        }
        break;
    }
    case GadgetKindSpin:
        if (attribute == SpinAttributeMinimum) record->spinMinimum = int(value);
        if (attribute == SpinAttributeMaximum) record->spinMaximum = int(value);
        if (record->spinMaximum < record->spinMinimum) record->spinMaximum = record->spinMinimum;
        break;
    case GadgetKindString:
        if (attribute == StringAttributeMaxLength)
            static_cast<QLineEdit *>(record->handle)
                ->setMaxLength(value > 0 ? int(std::min<int64_t>(value, 32767)) : 32767);
        break;
    default:
        break;
    }
}

void SetGadgetColor(int64_t gadget, int colourKind, int64_t colour) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    QWidget *w = record->handle;
    // Text fields and lists paint their inside with Base/Text, labels and
    // containers with Window/WindowText.
    bool field = record->kind == GadgetKindString || record->kind == GadgetKindEditor ||
                 record->kind == GadgetKindSpin || record->kind == GadgetKindListView ||
                 record->kind == GadgetKindComboBox;
    QPalette::ColorRole role;
    if (colourKind == GadgetColourFront)
        role = field ? QPalette::Text : QPalette::WindowText;
    else if (colourKind == GadgetColourBack)
        role = field ? QPalette::Base : QPalette::Window;
    else
        return;
    QPalette palette = w->palette();
    palette.setColor(role, colour == -1 ? QApplication::palette(w).color(role) : ColourOf(colour));
    if (colourKind == GadgetColourFront && record->kind == GadgetKindButton)
        palette.setColor(QPalette::ButtonText,
                         colour == -1 ? QApplication::palette(w).color(QPalette::ButtonText)
                                      : ColourOf(colour));
    w->setPalette(palette);
    if (colourKind == GadgetColourBack && !field) w->setAutoFillBackground(colour != -1);
}

void DisableGadget(int64_t gadget, int state) {
    if (GadgetRecord *record = Find(gadget)) record->handle->setEnabled(!state);
}

void HideGadget(int64_t gadget, int state) {
    if (GadgetRecord *record = Find(gadget)) record->handle->setVisible(!state);
}

int IsGadgetHidden(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    return record && record->handle->isHidden() ? 1 : 0;
}

void ResizeGadget(int64_t gadget, int x, int y, int width, int height) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    QRect place = record->handle->geometry();
    if (x != KeepValue) place.moveLeft(x);
    if (y != KeepValue) place.moveTop(y);
    if (width != KeepValue) place.setWidth(std::max(width, 0));
    if (height != KeepValue) place.setHeight(std::max(height, 0));
    if (record->bitmap &&
        (place.width() != record->handle->width() || place.height() != record->handle->height())) {
        // When memory runs out the old bitmap stays, and with it the old size.
        if (!ResizeCanvasBitmap(record->bitmap, place.width(), place.height()))
            place.setSize(record->handle->size());
    }
    record->handle->setGeometry(place);
}

void FocusControl(int64_t gadget) {
    GadgetRecord *record = gadget == -1 ? nullptr : Find(gadget);
    if (record && record->handle->focusPolicy() != Qt::NoFocus) {
        record->handle->setFocus(Qt::OtherFocusReason);
        return;
    }
    QWidget *focused = QApplication::focusWidget();
    if (!focused) return;
    if (record && focused->window() != record->handle->window()) return;
    focused->clearFocus();
}

void StopControlDrops(int64_t gadget) {
    GadgetRecord *record = Find(gadget);
    if (!record) return;
    record->dropTypes = 0;
    record->handle->setAcceptDrops(false);
    if (record->dropTarget) record->dropTarget->setAcceptDrops(false);
}

void ScrollEditorToEnd(int64_t gadget) {
    GadgetRecord *record = GadgetOfKind(gadget, GadgetKindEditor);
    if (!record) return;
    auto *editor = static_cast<QTextEdit *>(record->handle);
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    editor->setTextCursor(cursor);
    editor->ensureCursorVisible();
}

void SetScrollAreaBars(int64_t gadget, int horizontal, int vertical) {
    GadgetRecord *record = GadgetOfKind(gadget, GadgetKindScrollArea);
    if (!record) return;
    auto *area = static_cast<QScrollArea *>(record->handle);
    area->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void SetImageGadgetDisplaySize(int64_t gadget, int width, int height) {
    GadgetRecord *record = GadgetOfKind(gadget, GadgetKindImage);
    if (!record) return;
    record->displayWidth = std::max(width, 0);
    record->displayHeight = std::max(height, 0);
    record->handle->update();
}
