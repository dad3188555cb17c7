// Window menu bars, the application menu and the refusal of the desktop
// session's requests to end the program.
#include "runtime/ui/menus.h"
#include "runtime/ui/events.h"
#include "runtime/ui/internal.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSessionManager>

ObjectTable<MenuRecord> MenuTable;

namespace {

QMenu *ApplicationMenu = nullptr;
QAction *AboutItem = nullptr;
QAction *PreferencesItem = nullptr;
QAction *QuitItem = nullptr;
int64_t CurrentMenu = -1;
bool HaveCurrentMenu = false;

void ReleaseMenu(MenuRecord &record) {
    if (!record.handle) return;
    // Keep the shared application menu alive: it is not the bar's to delete.
    if (ApplicationMenu) record.handle->removeAction(ApplicationMenu->menuAction());
    record.handle->deleteLater();
}

struct TableSetUp {
    TableSetUp() {
        MenuTable.growthStep = 8;
        MenuTable.releaseRecord = ReleaseMenu;
    }
} SetUp;

void QueueQuit() {
    QueueToolkitEvent(EventMenu, -1, MenuItemQuit, 0);
}

} // namespace

void InstallApplicationMenu() {
    if (ApplicationMenu) return;
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty()) name = QCoreApplication::applicationName();
    ApplicationMenu = new QMenu(name);
    AboutItem = ApplicationMenu->addAction(QStringLiteral("About %1").arg(name));
    PreferencesItem = ApplicationMenu->addAction(QStringLiteral("Preferences") + QChar(0x2026));
    PreferencesItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    ApplicationMenu->addSeparator();
    QuitItem = ApplicationMenu->addAction(QStringLiteral("Quit %1").arg(name));
    QuitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // The menu bar is the main window's, but Control+Q quits from every window.
    QuitItem->setShortcutContext(Qt::ApplicationShortcut);
    // About and Preferences exist for every program but mean something only once
    // the program names them.
    AboutItem->setEnabled(false);
    PreferencesItem->setEnabled(false);
    QObject::connect(AboutItem, &QAction::triggered,
                     [] { QueueToolkitEvent(EventMenu, -1, MenuItemAbout, 0); });
    QObject::connect(PreferencesItem, &QAction::triggered,
                     [] { QueueToolkitEvent(EventMenu, -1, MenuItemPreferences, 0); });
    QObject::connect(QuitItem, &QAction::triggered, QueueQuit);
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        // Logging out asks every program to agree; this one says no and lets the
        // application run its own quit sequence.
        QObject::connect(app, &QGuiApplication::commitDataRequest, [](QSessionManager &session) {
            session.cancel();
            QueueQuit();
        });
        app->setQuitOnLastWindowClosed(false);
    }
}

void NameApplicationMenu(const QString &name) {
    if (!ApplicationMenu) return;
    ApplicationMenu->setTitle(name);
    QuitItem->setText(QStringLiteral("Quit %1").arg(name));
    if (!AboutItem->isEnabled()) AboutItem->setText(QStringLiteral("About %1").arg(name));
}

void RemoveApplicationMenu() {
    delete ApplicationMenu;
    ApplicationMenu = nullptr;
    AboutItem = PreferencesItem = QuitItem = nullptr;
}

void ReleaseAllMenus() {
    ObjectReleaseAll(MenuTable);
    HaveCurrentMenu = false;
}

// The desktop asked the program to end (QEvent::Quit): refused, becomes item -4.
void RefuseQuitRequest() {
    QueueQuit();
}

int64_t CreateWindowMenu(int64_t menu, int64_t windowHandle) {
    WindowRecord *window = WindowOfWidget(reinterpret_cast<const QWidget *>(windowHandle));
    if (!window) return 0;
    if (ObjectLookup(MenuTable, menu)) ObjectRelease(MenuTable, menu);
    int64_t number = 0;
    MenuRecord *record = ObjectAllocate(MenuTable, menu, &number);
    if (!record) return 0;
    if (window->menuBar) {
        // One bar per window: a new menu replaces the old one.
        window->menuBar->hide();
        window->menuBar->deleteLater();
    }
    auto *bar = new QMenuBar(window->handle);
    if (ApplicationMenu) bar->addMenu(ApplicationMenu);
    record->handle = bar;
    record->number = number;
    record->window = window->number;
    // The content keeps its size; the window grows by the bar.
    int width = window->content->width(), height = window->content->height();
    window->menuBar = bar;
    bar->show();
    ApplyWindowGeometry(*window);
    window->handle->resize(width, height + bar->sizeHint().height());
    ApplyWindowGeometry(*window);
    CurrentMenu = number;
    HaveCurrentMenu = true;
    return ObjectCreated(menu, number, record);
}

void AddMenuEntry(int64_t id, const String &text) {
    if (id == MenuItemAbout || id == MenuItemPreferences) {
        QAction *item = id == MenuItemAbout ? AboutItem : PreferencesItem;
        if (!item) return;
        item->setText(ToQString(text));
        item->setEnabled(true);
        return;
    }
    MenuRecord *record = HaveCurrentMenu ? ObjectLookup(MenuTable, CurrentMenu) : nullptr;
    if (!record) return;
    QAction *entry = record->handle->addAction(ToQString(text));
    int64_t window = record->window;
    QObject::connect(entry, &QAction::triggered,
                     [window, id] { QueueToolkitEvent(EventMenu, window, id, 0); });
}
