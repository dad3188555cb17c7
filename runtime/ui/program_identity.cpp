// The program's name, desktop entry and window icon, told to Qt once.
#include "runtime/ui/program_identity.h"
#include "runtime/ui/internal.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>

void SetProgramIdentity(const String &name, const String &desktopId, int64_t icon) {
    QString shown = ToQString(name);
    // Taken by the X11 platform when the first window is created; the display
    // name is left unset, since Qt would append it to every window title.
    QCoreApplication::setApplicationName(shown);
    QGuiApplication::setDesktopFileName(ToQString(desktopId));
    if (icon) {
        const QImage &picture = *reinterpret_cast<const QImage *>(icon);
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(picture)));
    }
    NameApplicationMenu(shown);
}
