// Window timers: one repeating QTimer per (window, timer id) on the main loop.
#include "runtime/ui/events.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/menus.h"

#include <QTimer>
#include <QWidget>

void StartWindowTimer(int64_t window, int64_t timer, int milliseconds) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    StopWindowTimer(window, timer);
    auto *clock = new QTimer(record->handle);
    int64_t number = record->number;
    QObject::connect(clock, &QTimer::timeout,
                     [number, timer] { QueueToolkitEvent(EventTimer, number, timer, 0); });
    clock->start(std::max(milliseconds, 0));
    record->timers.push_back({timer, clock});
}

void StopWindowTimer(int64_t window, int64_t timer) {
    WindowRecord *record = ObjectLookup(WindowTable, window);
    if (!record) return;
    std::erase_if(record->timers, [timer](WindowTimer &t) {
        if (t.id != timer) return false;
        t.timer->stop();
        t.timer->deleteLater(); // it may be the timer whose tick is running now
        return true;
    });
}
