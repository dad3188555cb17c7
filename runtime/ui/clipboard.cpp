// Clipboard text through Qt's clipboard.
#include "runtime/ui/clipboard.h"
#include "runtime/ui/internal.h"

#include <QClipboard>
#include <QGuiApplication>

String ClipboardText() {
    if (!QGuiApplication::instance()) return String();
    return FromQString(QGuiApplication::clipboard()->text());
}

int PutClipboardText(const String &text) {
    if (!QGuiApplication::instance()) return 0;
    QGuiApplication::clipboard()->setText(ToQString(text));
    return 1;
}
