// Keyboard shortcuts of windows, matched by one application-wide event filter
// that also refuses the desktop's requests to quit.
#include "runtime/ui/events.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/menus.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

bool IsTextField(const QWidget *widget) {
    if (!widget) return false;
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget))
        return true;
    // Key events of scrolling text views arrive at their viewport.
    for (const QObject *o = widget; o; o = o->parent())
        if (qobject_cast<const QTextEdit *>(o) || qobject_cast<const QPlainTextEdit *>(o))
            return true;
    return false;
}

bool IsEditingKey(QKeyEvent *key) {
    return key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Copy) ||
           key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Undo) ||
           key->matches(QKeySequence::Redo) || key->matches(QKeySequence::SelectAll);
}

int64_t KeysOf(QKeyEvent *key) {
    int64_t keys = key->key() == Qt::Key_Escape ? ShortcutEscape : key->key();
    if (keys <= 0 || keys > 0xFFFF) return 0;
    Qt::KeyboardModifiers mods = key->modifiers();
    if (mods & Qt::ControlModifier) keys |= ShortcutControl;
    if (mods & Qt::ShiftModifier) keys |= ShortcutShift;
    if (mods & Qt::AltModifier) keys |= ShortcutAlt;
    return keys;
}

class ToolkitFilter : public QObject {
  public:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
            RefuseQuitRequest();
            return true;
        }
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        auto *widget = static_cast<QWidget *>(watched);
        WindowRecord *window = WindowOfWidget(widget->window());
        if (!window || window->shortcuts.empty() || !window->handle->isActiveWindow()) return false;
        auto *key = static_cast<QKeyEvent *>(event);
        // Cut, copy, paste, undo, redo and select all belong to the text field.
        if (IsEditingKey(key) && IsTextField(QApplication::focusWidget())) return false;
        if (window->overlay) return false; // a disabled window takes no commands
        int64_t keys = KeysOf(key);
        for (const WindowShortcut &shortcut : window->shortcuts) {
            if (shortcut.keys != keys) continue;
            QueueToolkitEvent(EventMenu, window->number, shortcut.id, 0);
            return true;
        }
        return false;
    }
};

ToolkitFilter *Filter = nullptr;

} // namespace

void InstallToolkitFilter() {
    if (Filter || !QCoreApplication::instance()) return;
    Filter = new ToolkitFilter;
    QCoreApplication::instance()->installEventFilter(Filter);
}

void RemoveToolkitFilter() {
    if (!Filter) return;
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(Filter);
    delete Filter;
    Filter = nullptr;
}

void AddShortcut(int64_t window, int64_t shortcut, int64_t id) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    for (WindowShortcut &existing : record->shortcuts) {
        if (existing.keys == shortcut) {
            existing.id = id;
            return;
        }
    }
    record->shortcuts.push_back({shortcut, id});
}

void RemoveShortcut(int64_t window, int64_t shortcut) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    std::erase_if(record->shortcuts,
                  [shortcut](const WindowShortcut &s) { return s.keys == shortcut; });
}
