// The toolkit's event queue, the current event, posting from other threads and
// the bindings of routines to events.
#include "runtime/ui/events.h"
#include "runtime/ui/internal.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <tuple>

namespace {

struct QueuedEvent {
    int code = 0;
    int64_t window = 0;
    int64_t object = 0;
    int64_t type = 0;
    int64_t data = 0;
    DropRecord *drop = nullptr;
    int mouseX = 0, mouseY = 0;
    bool posted = false; // by PostAppEvent: routines run when fetched, never merged
};

// The worker posts while the main thread takes, so the queue has its own lock,
// held only for one push or pop.
std::recursive_mutex QueueLock;
std::deque<QueuedEvent> Queue;

QueuedEvent Current;               // what the accessors answer
DropRecord *FetchedDrop = nullptr; // the drop record owned by the last fetched event
uint64_t FetchCount = 0;           // tells a routine's caller that a fetch happened inside it

using BindingKey = std::tuple<int, int64_t, int64_t, int64_t>; // code, window, object, type
std::map<BindingKey, EventRoutine> Bindings;

bool SameEvent(const QueuedEvent &a, const QueuedEvent &b) {
    return a.code == b.code && a.window == b.window && a.object == b.object && a.type == b.type;
}

bool TakeQueued(QueuedEvent &event) {
    std::lock_guard lock(QueueLock);
    if (Queue.empty()) return false;
    event = Queue.front();
    Queue.pop_front();
    return true;
}

// The most specific binding wins. The object (gadget, item, timer) counts most,
// then the type, then the window; -1 stands for "any".
EventRoutine FindBinding(const QueuedEvent &event) {
    if (Bindings.empty()) return nullptr;
    const int64_t w = event.window, o = event.object, t = event.type;
    const BindingKey keys[] = {
        {event.code, w, o, t},   {event.code, -1, o, t},   {event.code, w, o, -1},
        {event.code, -1, o, -1}, {event.code, w, -1, t},   {event.code, -1, -1, t},
        {event.code, w, -1, -1}, {event.code, -1, -1, -1},
    };
    for (const BindingKey &key : keys) {
        auto it = Bindings.find(key);
        if (it != Bindings.end()) return it->second;
    }
    return nullptr;
}

// Handlers read the current event, so the event whose routine runs is current
// for the duration; afterwards the fetched event is current again, unless the
// routine fetched events itself (then what it fetched stays current).
void RunBinding(const QueuedEvent &event) {
    EventRoutine routine = FindBinding(event);
    if (!routine) return;
    QueuedEvent saved = Current;
    uint64_t fetches = FetchCount;
    Current = event;
    routine();
    if (FetchCount == fetches) Current = saved;
}

// The application that a post from another thread wakes; cleared under the
// queue's lock before the application goes away, so a worker posting late
// never reaches a deleted object.
QCoreApplication *WakeTarget = nullptr;

void WakeMainThread() {
    std::lock_guard lock(QueueLock);
    if (!WakeTarget) return;
    // A queued call is a posted Qt event: thread-safe, and it makes a blocked
    // processEvents on the main thread return.
    QMetaObject::invokeMethod(
        WakeTarget, [] {}, Qt::QueuedConnection);
}

int Fetch(int64_t timeoutMs) {
    ++FetchCount;
    delete FetchedDrop;
    FetchedDrop = nullptr;
    Current = QueuedEvent{};
    // Widgets of closed windows and freed gadgets are deleted here, outside any
    // of their own event handlers.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QueuedEvent event;
    bool found = TakeQueued(event);
    if (!found && QCoreApplication::instance()) {
        if (timeoutMs == 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            found = TakeQueued(event);
        } else if (timeoutMs < 0) {
            while (!(found = TakeQueued(event)))
                QCoreApplication::processEvents(QEventLoop::AllEvents |
                                                QEventLoop::WaitForMoreEvents);
        } else {
            QElapsedTimer clock;
            clock.start();
            while (!(found = TakeQueued(event))) {
                int64_t left = timeoutMs - clock.elapsed();
                if (left <= 0) break;
                QTimer limit; // its expiry wakes the dispatcher
                limit.setSingleShot(true);
                limit.start(int(left));
                QCoreApplication::processEvents(QEventLoop::AllEvents |
                                                QEventLoop::WaitForMoreEvents);
            }
        }
    }
    if (!found) return 0;
    Current = event;
    FetchedDrop = event.drop;
    if (event.posted) RunBinding(event);
    return event.code;
}

} // namespace

void QueueToolkitEvent(int code, int64_t window, int64_t object, int64_t type, DropRecord *drop,
                       int mouseX, int mouseY) {
    QueuedEvent event;
    event.code = code;
    event.window = window;
    event.object = object;
    event.type = type;
    event.drop = drop;
    event.data = reinterpret_cast<int64_t>(drop);
    event.mouseX = mouseX;
    event.mouseY = mouseY;
    {
        std::lock_guard lock(QueueLock);
        bool mergeable = !drop && code < EventFirstCustom;
        if (mergeable && !Queue.empty() && !Queue.back().posted && SameEvent(Queue.back(), event)) {
            // The waiting copy stands for both; it keeps the newest pointer position.
            Queue.back().mouseX = mouseX;
            Queue.back().mouseY = mouseY;
        } else {
            try {
                Queue.push_back(event);
            } catch (const std::bad_alloc &) {
                delete drop;
                return;
            }
        }
    }
    // Every occurrence runs its routine, merged or not: a merged pointer move
    // must still reach the handler with its own position.
    RunBinding(event);
}

bool CurrentEventMouse(int64_t gadget, int *x, int *y) {
    if (Current.code != EventGadget || Current.object != gadget) return false;
    *x = Current.mouseX;
    *y = Current.mouseY;
    return true;
}

void SetWakeTarget(QCoreApplication *application) {
    std::lock_guard lock(QueueLock);
    WakeTarget = application;
}

void ReleaseQueuedEvents() {
    std::lock_guard lock(QueueLock);
    for (QueuedEvent &event : Queue) delete event.drop;
    Queue.clear();
    delete FetchedDrop;
    FetchedDrop = nullptr;
    Current = QueuedEvent{};
}

void ReleaseAllBindings() {
    Bindings.clear();
}

int WaitForEvent() {
    return Fetch(-1);
}
int PollEvent() {
    return Fetch(0);
}
int WaitForEventFor(int64_t timeoutMs) {
    return Fetch(timeoutMs > 0 ? timeoutMs : 0);
}

int EventCode() {
    return Current.code;
}
int64_t EventWindowNumber() {
    return Current.window;
}
int64_t EventObject() {
    return Current.object;
}
int64_t EventKind() {
    return Current.type;
}
int64_t EventPayload() {
    return Current.data;
}

const DropRecord *CurrentDropRecord() {
    return Current.drop;
}

int PostAppEvent(int event, int64_t window, int64_t object, int64_t type, int64_t data) {
    QueuedEvent posted;
    posted.code = event;
    posted.window = window;
    posted.object = object;
    posted.type = type;
    posted.data = data;
    posted.posted = true;
    {
        std::lock_guard lock(QueueLock);
        try {
            Queue.push_back(posted);
        } catch (const std::bad_alloc &) {
            return 0;
        }
    }
    WakeMainThread();
    return 1;
}

void BindControlEvent(int64_t gadget, EventRoutine routine, int64_t type) {
    if (!routine) return UnbindControlEvent(gadget, type);
    Bindings[BindingKey{EventGadget, -1, gadget, type}] = routine;
}

void BindWindowEvent(int event, EventRoutine routine, int64_t window, int64_t object) {
    if (!routine) return UnbindWindowEvent(event, window, object);
    Bindings[BindingKey{event, window, object, -1}] = routine;
}

void UnbindControlEvent(int64_t gadget, int64_t type) {
    Bindings.erase(BindingKey{EventGadget, -1, gadget, type});
}

void UnbindWindowEvent(int event, int64_t window, int64_t object) {
    Bindings.erase(BindingKey{event, window, object, -1});
}
