// What the application tests share: one main window per test process, built
// exactly as start-up builds it (on the offscreen platform, with the data
// folder in a fresh temporary folder), and helpers that drive the real widgets
// and pump events the way the event loop does.
#pragma once

#include "app/event_loop.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "convert/conversion_worker.h"
#include "runtime/base/threads.h"
#include "runtime/image/draw_target.h"
#include "runtime/ui/toolkit.h"
#include "tests/support/temp_folder.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// The temporary folder that stands in for the user's data folder (no trailing
// "/"), removed when the test program ends.
inline const std::string &TestDataHome() {
    static TempFolder folder("tintwell-app-test");
    static std::string home =
        folder.path.empty() ? std::string("/tmp") : folder.path.substr(0, folder.path.size() - 1);
    return home;
}

// Ends the runtime after the last test as the program ends it, while Qt is still
// whole, so leak checks see only real leaks.
class RuntimeEnding : public ::testing::Environment {
  public:
    void TearDown() override {
        // A worker that posted its last status may still be ending.
        int64_t worker = LastWorkerThread.load();
        while (worker && ThreadAlive(worker)) JoinThreadFor(worker, 100);
        EndRuntime();
    }
};

// Builds the main window once per process; later calls only check it is there.
inline void EnsureMainWindow() {
    static bool built = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_DATA_HOME", TestDataHome().c_str(), 1);
        bool ok = BuildMainWindow(0, nullptr) == 1;
        if (ok) ::testing::AddGlobalTestEnvironment(new RuntimeEnding);
        return ok;
    }();
    ASSERT_TRUE(built);
    ASSERT_TRUE(WindowExists(WindowMain));
}

// Fetches and dispatches every pending event as the loop does; answers how many
// events were fetched.
inline int PumpEvents() {
    int fetched = 0;
    for (int code; (code = PollEvent()) != 0 && fetched < 10000; fetched++) DispatchEvent(code);
    return fetched;
}

inline QWidget *WidgetOf(int64_t gadget) {
    return reinterpret_cast<QWidget *>(ControlPlatformHandle(gadget));
}

inline QWidget *MainWindowWidget() {
    return reinterpret_cast<QWidget *>(WindowPlatformHandle(WindowMain));
}

// A canvas pixel as R + G*256 + B*65536; -1 when the canvas cannot be opened.
inline int64_t CanvasPixel(int64_t gadget, int64_t x, int64_t y) {
    if (!OpenDrawTarget(CanvasTarget(gadget))) return -1;
    int64_t colour = ReadPixel(x, y);
    CloseDrawTarget();
    return colour;
}

// Every pixel of a canvas, row after row, R + G*256 + B*65536 each.
inline std::vector<int64_t> CanvasSnapshot(int64_t gadget) {
    std::vector<int64_t> pixels;
    if (!OpenDrawTarget(CanvasTarget(gadget))) return pixels;
    for (int64_t y = 0; y < TargetHeight(); y++)
        for (int64_t x = 0; x < TargetWidth(); x++) pixels.push_back(ReadPixel(x, y));
    CloseDrawTarget();
    return pixels;
}

inline int CanvasWidth(int64_t gadget) {
    return int(GetGadgetAttribute(gadget, CanvasAttributeWidth));
}
inline int CanvasHeight(int64_t gadget) {
    return int(GetGadgetAttribute(gadget, CanvasAttributeHeight));
}

// Delivers one mouse event to a canvas at bitmap position x, y (the bitmap is the
// gadget's whole area), straight to its widget as Qt does for the widget holding
// the mouse (so positions outside the canvas are possible, as in a drag). Bound
// handlers run as the event is queued; with `pump` the queue is then drained,
// which also lets due timers fire.
inline void SendMouse(int64_t gadget, QEvent::Type type, int x, int y, Qt::MouseButton button,
                      Qt::MouseButtons held, bool pump = true) {
    QWidget *widget = WidgetOf(gadget);
    QPointF local(x, y);
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
    if (pump) PumpEvents();
}

inline void PressCanvas(int64_t gadget, int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(gadget, QEvent::MouseButtonPress, x, y, button, button);
}
inline void ReleaseCanvas(int64_t gadget, int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(gadget, QEvent::MouseButtonRelease, x, y, button, Qt::NoButton);
}
inline void MoveOverCanvas(int64_t gadget, int x, int y, Qt::MouseButtons held = Qt::NoButton,
                           bool pump = true) {
    SendMouse(gadget, QEvent::MouseMove, x, y, Qt::NoButton, held, pump);
}
inline void ClickCanvas(int64_t gadget, int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    PressCanvas(gadget, x, y, button);
    ReleaseCanvas(gadget, x, y, button);
}

// Sends the key with Control (and the extra modifiers) to the main window, as
// the user pressing it there, and dispatches what it raised.
inline void PressControlKey(Qt::Key key, Qt::KeyboardModifiers extra = Qt::NoModifier) {
    QWidget *window = MainWindowWidget();
    ActivateWindow(WindowMain);
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, key, Qt::ControlModifier | extra);
    PumpEvents();
}
