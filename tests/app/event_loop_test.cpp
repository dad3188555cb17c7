#include "app/event_loop.h"

#include "app/job_status.h"
#include "app/worker_state.h"
#include "app_harness.h"
#include "convert/stop_flag.h"
#include "runtime/base/threads.h"

#include <QLabel>
#include <atomic>
#include <thread>

namespace {

// A stand-in worker: runs until the stop request, then takes a little longer,
// as a real one finishing its current file would.
std::atomic<int> WorkerSawStop{0};

void WorkerUntilStopped(int64_t) {
    while (!StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    WorkerSawStop = 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
}

// What the probe timer saw while the quit sequence waited.
struct QuitProbe {
    int ticks = 0;
    int boxSeen = 0;
    int boxWidth = 0, boxHeight = 0;
    String boxText;
    int mainDisabled = 0;
} Probe;

constexpr int64_t ProbeTimer = 77;

// A worker in its last moments: it has already cleared WorkerThread, as the real
// one does just before its final post, and posts that event a little later.
void WorkerAfterItsLastFile(int64_t) {
    // Cleared only once the test has noted it, or the test waits for good.
    while (WorkerThread.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    WorkerThread.exchange(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PostAppEvent(EventJobStatus, -4, 0, EventJobStatus, 0);
}

void ProbeQuitWait() {
    Probe.ticks++;
    if (!QuitWaitWindow || !WindowExists(QuitWaitWindow)) return;
    Probe.boxSeen++;
    Probe.boxWidth = WindowInnerWidth(QuitWaitWindow);
    Probe.boxHeight = WindowInnerHeight(QuitWaitWindow);
    auto *box = reinterpret_cast<QWidget *>(WindowPlatformHandle(QuitWaitWindow));
    for (QLabel *label : box->findChildren<QLabel *>())
        Probe.boxText = label->text().toStdU16String();
    // The main window is covered by its input-swallowing layer.
    QWidget *main = MainWindowWidget();
    for (QWidget *child : main->findChildren<QWidget *>())
        if (child->isVisible() && child->width() >= 4096) Probe.mainDisabled = 1;
}

} // namespace

TEST(EventLoop, QuitWithoutWorkerEndsAtOnce) {
    EnsureMainWindow();
    ClearStopRequest();
    WorkerThread = 0;
    QWidget *window = MainWindowWidget();
    window->close(); // the close request arrives as event 2 of WindowMain
    int code = 0, result = 1;
    for (int i = 0; i < 100 && result; i++) {
        code = WaitForEventFor(20);
        if (code) result = DispatchEvent(code);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(code, EventCloseWindow);
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(QuitWaitWindow, 0);
    ClearStopRequest();
}

TEST(EventLoop, QuitItemEndsTheLoop) {
    EnsureMainWindow();
    ClearStopRequest();
    WorkerThread = 0;
    // The application menu's Quit arrives as item -4 of window -1.
    PostAppEvent(EventMenu, -1, MenuItemQuit, 0, 0);
    RunEventLoop();
    EXPECT_TRUE(StopRequested());
    ClearStopRequest();
}

TEST(EventLoop, QuitWithLiveWorkerShowsTheBoxUntilItEnds) {
    EnsureMainWindow();
    ClearStopRequest();
    WorkerSawStop = 0;
    int64_t thread = SpawnThread(WorkerUntilStopped, 0);
    ASSERT_NE(thread, 0);
    NoteWorkerStarted(thread);

    BindWindowEvent(EventTimer, ProbeQuitWait, WindowMain, ProbeTimer);
    StartWindowTimer(WindowMain, ProbeTimer, 20);
    PostAppEvent(EventMenu, -1, MenuItemQuit, 0, 0);
    auto start = std::chrono::steady_clock::now();
    RunEventLoop();
    auto waited = std::chrono::steady_clock::now() - start;
    StopWindowTimer(WindowMain, ProbeTimer);
    UnbindWindowEvent(EventTimer, WindowMain, ProbeTimer);

    EXPECT_EQ(WorkerSawStop.load(), 1);
    EXPECT_EQ(ThreadAlive(thread), 0) << "the loop returned before the worker ended";
    EXPECT_GE(waited, std::chrono::milliseconds(350));
    EXPECT_GT(Probe.ticks, 0) << "bound handlers run during the wait";
    EXPECT_GT(Probe.boxSeen, 0);
    EXPECT_EQ(Probe.boxWidth, 300);
    EXPECT_EQ(Probe.boxHeight, 50);
    EXPECT_EQ(Probe.boxText, u"PLEASE WAIT WHILE CLOSING DOWN");
    EXPECT_EQ(Probe.mainDisabled, 1);
    WorkerThread = 0;
    ClearStopRequest();
}

TEST(EventLoop, QuitWaitsForAWorkerThatAlreadyClearedItsHandle) {
    EnsureMainWindow();
    ClearStopRequest();
    int64_t thread = SpawnThread(WorkerAfterItsLastFile, 0);
    ASSERT_NE(thread, 0);
    NoteWorkerStarted(thread);
    while (WorkerThread.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    PostAppEvent(EventMenu, -1, MenuItemQuit, 0, 0);
    RunEventLoop();
    EXPECT_EQ(ThreadAlive(thread), 0) << "the loop returned while the worker was still posting";
    EXPECT_EQ(PollEvent(), 0) << "the final post was handed over, not left in the queue";
    ClearStopRequest();
}

TEST(EventLoop, ClosingAnotherWindowKeepsTheLoopGoing) {
    EnsureMainWindow();
    ASSERT_TRUE(OpenAppWindow(WindowHelp, KeepValue, KeepValue, 200, 100, u"help", 0, -1));
    reinterpret_cast<QWidget *>(WindowPlatformHandle(WindowHelp))->close();
    int result = 1, sawClose = 0;
    for (int i = 0; i < 50 && WindowExists(WindowHelp); i++) {
        int code = WaitForEventFor(20);
        if (code == EventCloseWindow) sawClose = 1;
        if (code) result = DispatchEvent(code);
    }
    EXPECT_EQ(sawClose, 1);
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(WindowExists(WindowHelp));
    EXPECT_TRUE(WindowExists(WindowMain));
}
