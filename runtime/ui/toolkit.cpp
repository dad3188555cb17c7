// Start and end of the toolkit, and the conversions every part uses.
#include "runtime/ui/toolkit.h"
#include "runtime/image/canvas_bitmap.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/quit_signals.h"

#include <QApplication>
#include <QColor>

namespace {

QApplication *OwnApplication = nullptr;
// QApplication keeps references to these for its whole life.
int ApplicationArgc = 1;
char ApplicationName[] = "tintwell";
char *ApplicationArgv[] = {ApplicationName, nullptr};

} // namespace

QString ToQString(const String &s) {
    QString shown = QString::fromStdU16String(s);
    // A lone surrogate (a file name's byte that is not UTF-8) has no glyph and
    // would vanish from the screen; it shows as U+FFFD.
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate())
            ++i;
        else if (shown[i].isSurrogate())
            shown[i] = QChar(QChar::ReplacementCharacter);
    }
    return shown;
}
String FromQString(const QString &s) {
    return s.toStdU16String();
}

QColor ColourOf(int64_t colour) {
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

int StartToolkit(int argc, char **argv) {
    if (!QApplication::instance()) {
        if (argc > 0 && argv) {
            static int keptArgc;
            keptArgc = argc;
            OwnApplication = new (std::nothrow) QApplication(keptArgc, argv);
        } else {
            OwnApplication = new (std::nothrow) QApplication(ApplicationArgc, ApplicationArgv);
        }
        if (!OwnApplication) return 0;
    }
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) return 0;
    SetWakeTarget(QCoreApplication::instance());
    InstallCanvasResolver();
    InstallApplicationMenu();
    InstallToolkitFilter();
    return 1;
}

void EndToolkit() {
    ReleaseQuitSignals();
    CloseAppWindow(-1);
    ReleaseAllMenus();
    ObjectReleaseAll(GadgetTable);
    ReleaseQueuedEvents();
    ReleaseAllBindings();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    RemoveToolkitFilter();
    RemoveApplicationMenu();
    SetCanvasResolver(nullptr, nullptr);
    SetWakeTarget(nullptr);
    delete OwnApplication;
    OwnApplication = nullptr;
}
