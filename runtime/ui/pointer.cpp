// The pointer position on the screen.
#include "runtime/ui/pointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace {

// Relative to the main screen's top-left corner.
QPoint PointerOnMainScreen() {
    QPoint at = QCursor::pos();
    if (QScreen *screen = QGuiApplication::primaryScreen()) at -= screen->geometry().topLeft();
    return at;
}

} // namespace

int PointerScreenX() {
    return PointerOnMainScreen().x();
}
int PointerScreenY() {
    return PointerOnMainScreen().y();
}
