#include "toolkit_fixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

namespace {

QMenu *ApplicationMenuOf(int64_t menuBar) {
    auto *bar = reinterpret_cast<QMenuBar *>(menuBar);
    return bar->actions().isEmpty() ? nullptr : bar->actions().first()->menu();
}

QAction *Item(QMenu *menu, const QString &startsWith) {
    for (QAction *action : menu->actions())
        if (action->text().startsWith(startsWith)) return action;
    return nullptr;
}

} // namespace

TEST(Menus, QuitRequestOfTheSessionBecomesItemMinusFour) {
    StartTestToolkit();
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    ASSERT_EQ(PollEvent(), EventMenu);
    EXPECT_EQ(EventObject(), MenuItemQuit);
    EXPECT_EQ(EventWindowNumber(), -1);
    // The program is still running and takes events.
    PostAppEvent(EventFirstCustom, 0, 0, 0, 0);
    EXPECT_EQ(PollEvent(), EventFirstCustom);
}

TEST(Menus, ApplicationMenuHasAboutPreferencesAndQuit) {
    StartTestToolkit();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 200, u"Menu", WindowFlagResizable, -1), 0);
    int64_t bar = CreateWindowMenu(0, WindowPlatformHandle(0));
    ASSERT_NE(bar, 0);
    // The content keeps its size; the bar comes on top.
    EXPECT_EQ(WindowInnerWidth(0), 300);
    EXPECT_EQ(WindowInnerHeight(0), 200);
    QMenu *menu = ApplicationMenuOf(bar);
    ASSERT_NE(menu, nullptr);
    QAction *about = Item(menu, "About");
    QAction *quit = Item(menu, "Quit");
    QAction *preferences = Item(menu, "Preferences");
    ASSERT_TRUE(about && quit && preferences);
    EXPECT_FALSE(about->isEnabled());
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(preferences->text(), QStringLiteral("Preferences") + QChar(0x2026));

    AddMenuEntry(MenuItemAbout, u"About Tintwell");
    EXPECT_TRUE(about->isEnabled());
    EXPECT_EQ(about->text(), "About Tintwell");
    while (PollEvent() != 0) {
    }
    about->trigger();
    ASSERT_EQ(PollEvent(), EventMenu);
    EXPECT_EQ(EventObject(), MenuItemAbout);
    quit->trigger();
    ASSERT_EQ(PollEvent(), EventMenu);
    EXPECT_EQ(EventObject(), MenuItemQuit);

    AddMenuEntry(42, u"Other");
    auto *menuBar = reinterpret_cast<QMenuBar *>(bar);
    QAction *other = menuBar->actions().last();
    EXPECT_EQ(other->text(), "Other");
    other->trigger();
    ASSERT_EQ(PollEvent(), EventMenu);
    EXPECT_EQ(EventObject(), 42);
    EXPECT_EQ(EventWindowNumber(), 0);

    // Closing the window keeps the shared application menu for other windows.
    CloseAppWindow(0);
    ASSERT_NE(OpenAppWindow(1, 0, 0, 100, 100, u"Again", 0, -1), 0);
    int64_t second = CreateWindowMenu(-1, WindowPlatformHandle(1));
    ASSERT_NE(second, 0);
}
