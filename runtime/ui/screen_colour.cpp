// The colour of the one screen pixel under the pointer, read by grabbing a 1 x 1
// area of the screen. A compositor may refuse to give out screen content; the
// answer is then opaque black.
#include "runtime/ui/screen_colour.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

uint32_t ScreenColourUnderPointer() {
    const uint32_t black = 0xFF000000u;
    if (!QGuiApplication::instance()) return black;
    QPoint at = QCursor::pos();
    QScreen *screen = QGuiApplication::screenAt(at);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return black;
    QPoint local = at - screen->geometry().topLeft();
    QImage pixel = screen->grabWindow(0, local.x(), local.y(), 1, 1).toImage();
    if (pixel.isNull() || pixel.width() < 1 || pixel.height() < 1) return black;
    QRgb rgb = pixel.pixel(0, 0);
    return uint32_t(qRed(rgb)) | uint32_t(qGreen(rgb)) << 8 | uint32_t(qBlue(rgb)) << 16 | black;
}
