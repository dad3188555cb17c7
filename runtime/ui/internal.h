// What the toolkit's own files share: the window and gadget records on their
// object tables, the internal event queue entry point, the drop record and the
// helpers that find a record from a Qt widget. Not for the application.
// Main thread only, except where a declaration says otherwise.
#pragma once

#include "runtime/base/object_table.h"
#include "runtime/base/string_scratch.h"

#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <vector>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMenuBar;
class QMimeData;
class QTimer;
class QWidget;
struct CanvasBitmap;

struct WindowShortcut {
    int64_t keys = 0; // key code plus Shortcut* modifier bits
    int64_t id = 0;
};

struct WindowTimer {
    int64_t id = 0;
    QTimer *timer = nullptr;
};

struct WindowRecord {
    QWidget *handle = nullptr;   // the top-level widget
    int64_t number = 0;          // the number the program knows it by
    QWidget *content = nullptr;  // the content area; gadget coordinates are relative to it
    QMenuBar *menuBar = nullptr; // above the content, when the window has a menu
    int64_t parent = -1;
    std::vector<WindowShortcut> shortcuts;
    std::vector<WindowTimer> timers;
    QPointer<QWidget> activeAtOpen;  // active window when this one opened
    int minWidth = 0, minHeight = 0; // content limits
    int maxWidth = 0xFFFFFF, maxHeight = 0xFFFFFF;
    QWidget *overlay = nullptr; // input-swallowing layer while disabled
    uint32_t dropTypes = 0;     // bit set of accepted drop types (DropTypeBit)
};

struct GadgetRecord {
    QWidget *handle = nullptr; // the gadget's widget
    int64_t number = 0;
    int kind = 0;
    int64_t window = 0;            // number of the window it lives in
    QWidget *inside = nullptr;     // container / scroll area: where children go
    QWidget *dropTarget = nullptr; // the widget that receives drag events
    int64_t flags = 0;
    CanvasBitmap *bitmap = nullptr; // canvas
    int border = 0;                 // 1: a frame is painted over the canvas edge
    QImage picture;                 // image gadget (a deep copy)
    int displayWidth = 0, displayHeight = 0;
    int spinMinimum = 0, spinMaximum = 0;
    int mouseX = 0, mouseY = 0; // latest pointer position in a canvas
    int pressed = 0;            // canvas / image: buttons pressed on this gadget
    int scrollStep = 1;
    uint32_t dropTypes = 0;
    // String gadget: the text as set, which the field may show changed (a path
    // that is not UTF-8); read back while the field still shows it.
    String exactText;
};

struct MenuRecord {
    QMenuBar *handle = nullptr; // the window's menu bar
    int64_t number = 0;
    int64_t window = 0; // number of the window it belongs to
};

extern ObjectTable<WindowRecord> WindowTable;
extern ObjectTable<GadgetRecord> GadgetTable;
extern ObjectTable<MenuRecord> MenuTable;

// The records behind Qt widgets: the window whose top-level widget is `top`, the
// gadget a widget was made for (checked against the live record, so a widget
// waiting for deletion finds nothing).
WindowRecord *WindowOfWidget(const QWidget *top);
GadgetRecord *GadgetOfWidget(const QObject *widget);
// The gadget record of a gadget number of one kind (0: any kind).
GadgetRecord *GadgetOfKind(int64_t gadget, int kind);

// Releases the gadgets of a window (CloseAppWindow).
void FreeGadgetsOfWindow(int64_t window);
// Forgets gadget lists that belong to a closed window.
void ForgetGadgetLists(int64_t window);
void SetCurrentGadgetList(QWidget *parent, int64_t window);
// Lays out the menu bar and the content of a window and applies its limits.
void ApplyWindowGeometry(WindowRecord &record);

// Drop records travel with drop events and are freed at the next fetch.
struct DropRecord {
    uint32_t type = 0;
    int action = 0;
    int x = 0, y = 0;
    String text;  // file list or text
    QImage image; // image drops
};

uint32_t DropTypeBit(uint32_t type); // 1, 2, 4 for files, text, image; 0 otherwise
// Drag handling shared by windows and gadgets: whether a drag offers something
// the target takes (the answer is set to copy), and the drop's record.
bool AnswerDrag(QDragMoveEvent *event, uint32_t acceptedTypes);
DropRecord *TakeDrop(QDropEvent *event, uint32_t acceptedTypes, QPoint position);

// Queues an event made by the toolkit (gadget, window, menu, shortcut, timer or
// drop) and runs its bound routine with it as the current event. `drop` passes
// into the event's ownership. mouseX/Y are the canvas position of the event.
void QueueToolkitEvent(int code, int64_t window, int64_t object, int64_t type,
                       DropRecord *drop = nullptr, int mouseX = 0, int mouseY = 0);

// The drop record of the current event, nullptr when it is no drop.
const DropRecord *CurrentDropRecord();

// Mouse position carried by the current event when it is a gadget event of
// `gadget`; false otherwise.
bool CurrentEventMouse(int64_t gadget, int *x, int *y);

// The widgets of the gadget kinds that draw themselves or report the mouse.
QWidget *NewCanvasWidget(QWidget *parent, int64_t gadget);
QWidget *NewImageWidget(QWidget *parent, int64_t gadget);
// Installs the canvas lookups of the image runtime.
void InstallCanvasResolver();

// Startup and end of the toolkit's parts.
void InstallApplicationMenu();
void RemoveApplicationMenu();
// Titles the application menu and its Quit item with the program's name.
void NameApplicationMenu(const QString &name);
void InstallToolkitFilter();
void RemoveToolkitFilter();
void ReleaseQueuedEvents();
// The application that posts from other threads wake (nullptr: none any more).
void SetWakeTarget(QCoreApplication *application);
void ReleaseAllBindings();
void ReleaseAllMenus();
// Turns a request of the desktop session to quit into menu item -4.
void RefuseQuitRequest();

// For showing: lone surrogates become U+FFFD.
QString ToQString(const String &s);
String FromQString(const QString &s);
QColor ColourOf(int64_t colour); // 0xBBGGRR
