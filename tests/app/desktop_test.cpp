// How the program meets the desktop, looked at through the toolkit as a task
// bar, a window manager and a user at the keyboard would: the sun on every
// window, one name, the desktop entry, Control+Q and Escape, whole message boxes.
#include "app/about_window.h"
#include "app/help_window.h"
#include "app/preview_window.h"
#include "app_harness.h"
#include "runtime/image/images.h"

#include <QAbstractButton>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <fstream>
#include <sstream>

namespace {

QWidget *WindowWidget(int64_t window) {
    return reinterpret_cast<QWidget *>(WindowPlatformHandle(window));
}

// Presses a key in a window made active, and answers the event it raised
// without acting on it (0 when none).
int KeyInWindow(int64_t window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    ActivateWindow(window);
    QApplication::setActiveWindow(WindowWidget(window));
    while (PollEvent()) {
    }
    QTest::keyClick(WindowWidget(window), key, modifiers);
    return PollEvent();
}

struct SecondaryWindow {
    int64_t number;
    void (*open)();
    const char16_t *title;
};
const SecondaryWindow Secondaries[] = {
    {WindowHelp, OpenHelpWindow, u"Tintwell help"},
    {WindowAbout, OpenAboutWindow, u""},
    {WindowPreview, OpenPreview, u"Tintwell - Preview"},
};

} // namespace

TEST(Desktop, EveryWindowShowsTheSunAndTheEntryIsNamed) {
    EnsureMainWindow();
    EXPECT_EQ(QCoreApplication::applicationName(), "Tintwell");
    EXPECT_EQ(QGuiApplication::desktopFileName(), "io.github.quillcraft.Tintwell");
    // X11 gives WM_CLASS the application name as its class: the entry names it.
    std::ifstream entry(std::string(TINTWELL_SOURCE_DIR) + "/resources/desktop/" +
                        QGuiApplication::desktopFileName().toStdString() + ".desktop");
    std::stringstream lines;
    lines << entry.rdbuf();
    EXPECT_NE(lines.str().find("\nStartupWMClass=Tintwell\n"), std::string::npos);

    const QImage &sun = *reinterpret_cast<const QImage *>(ImagePlatformHandle(ImageAppIcon));
    ASSERT_EQ(sun.size(), QSize(192, 192));
    EXPECT_EQ(WindowCaption(WindowMain), u"Tintwell");
    for (const SecondaryWindow &w : Secondaries) {
        w.open();
        ASSERT_EQ(WindowExists(w.number), 1);
        EXPECT_EQ(WindowCaption(w.number), w.title);
    }
    for (int64_t window : {WindowMain, WindowHelp, WindowAbout, WindowPreview}) {
        QIcon icon = WindowWidget(window)->windowIcon();
        ASSERT_FALSE(icon.isNull()) << window;
        QImage shown =
            icon.pixmap(192, 192).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(shown, sun.convertToFormat(QImage::Format_ARGB32_Premultiplied)) << window;
    }

    auto *bar = WindowWidget(WindowMain)->findChild<QMenuBar *>();
    ASSERT_TRUE(bar);
    ASSERT_EQ(bar->actions().size(), 1);
    QMenu *menu = bar->actions()[0]->menu();
    EXPECT_EQ(menu->title(), "Tintwell");
    QStringList items;
    for (QAction *item : menu->actions())
        if (!item->isSeparator()) items << item->text();
    EXPECT_EQ(items, QStringList({"About Tintwell", QString("Preferences") + QChar(0x2026),
                                  "Quit Tintwell"}));
}

TEST(Desktop, ControlQQuitsFromEveryWindowAndEscapeClosesTheSecondaryOnes) {
    EnsureMainWindow();
    for (const SecondaryWindow &w : Secondaries) {
        w.open();
        ASSERT_EQ(WindowExists(w.number), 1);
        // Control+Q is the Quit item (-4), whichever window has the keys.
        ASSERT_EQ(KeyInWindow(w.number, Qt::Key_Q, Qt::ControlModifier), EventMenu) << w.number;
        EXPECT_EQ(EventObject(), MenuItemQuit) << w.number;
        // Escape closes the window it is pressed in, and only that one.
        int code = KeyInWindow(w.number, Qt::Key_Escape, Qt::NoModifier);
        ASSERT_NE(code, 0) << w.number;
        DispatchEvent(code);
        PumpEvents();
        EXPECT_EQ(WindowExists(w.number), 0) << w.number;
        EXPECT_EQ(WindowExists(WindowMain), 1);
    }
    EXPECT_EQ(PreviewImage, 0) << "closed by Escape as by its close button";
    ASSERT_EQ(KeyInWindow(WindowMain, Qt::Key_Q, Qt::ControlModifier), EventMenu);
    EXPECT_EQ(EventObject(), MenuItemQuit);
    // Escape in the main window is no command.
    EXPECT_EQ(KeyInWindow(WindowMain, Qt::Key_Escape, Qt::NoModifier), 0);
}

TEST(Desktop, MessageBoxShowsTheProgramsNameAndItsWholeTitle) {
    EnsureMainWindow();
    ClearRequesterAnswers();
    QString windowTitle, text, informative;
    int width = 0, titleWidth = 0;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) return;
        windowTitle = box->windowTitle();
        text = box->text();
        informative = box->informativeText();
        width = box->width();
        titleWidth = box->fontMetrics().horizontalAdvance(windowTitle);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ShowMessageBox(u"Output folder", u"Please select an output folder!", MessageBoxOk),
              0);
    EXPECT_EQ(windowTitle, "Tintwell");
    EXPECT_EQ(text, "Output folder");
    EXPECT_EQ(informative, "Please select an output folder!");
    // Room for the title beside a title bar's buttons.
    EXPECT_GE(width, 320);
    EXPECT_GE(width, titleWidth + 160);
}
