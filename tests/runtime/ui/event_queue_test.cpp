#include "toolkit_fixture.h"

#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Seen {
    int code = 0;
    int64_t window = 0, object = 0, type = 0, data = 0;
};
std::vector<Seen> Calls;

void Record() {
    Calls.push_back({EventCode(), EventWindowNumber(), EventObject(), EventKind(), EventPayload()});
}
void RecordAsSpecific() {
    Record();
    Calls.back().data = 1;
}
void RecordAsWindow() {
    Record();
    Calls.back().data = 2;
}
void RecordAsAny() {
    Record();
    Calls.back().data = 3;
}

} // namespace

TEST(EventQueue, PostedFromAnotherThreadWakesTheWaitWithFieldsIntact) {
    StartTestToolkit();
    Calls.clear();
    BindWindowEvent(EventFirstCustom, Record, 3, 7);
    std::atomic<bool> posted{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        posted = true;
        PostAppEvent(EventFirstCustom, 3, 7, 9, 0x123456789ABCLL);
    });
    int code = WaitForEvent();
    worker.join();
    EXPECT_TRUE(posted.load());
    EXPECT_EQ(code, 65536);
    EXPECT_EQ(EventWindowNumber(), 3);
    EXPECT_EQ(EventObject(), 7);
    EXPECT_EQ(EventKind(), 9);
    EXPECT_EQ(EventPayload(), 0x123456789ABCLL);
    // A posted event's routine runs when it is fetched, with the event current.
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].code, 65536);
    EXPECT_EQ(Calls[0].type, 9);
    EXPECT_EQ(Calls[0].data, 0x123456789ABCLL);
    UnbindWindowEvent(EventFirstCustom, 3, 7);
}

TEST(EventQueue, PostedRoutineRunsAtFetchNotAtPost) {
    StartTestToolkit();
    Calls.clear();
    BindWindowEvent(EventFirstCustom + 1, Record);
    PostAppEvent(EventFirstCustom + 1, 0, 0, 0, 0);
    EXPECT_TRUE(Calls.empty());
    EXPECT_EQ(PollEvent(), EventFirstCustom + 1);
    EXPECT_EQ(Calls.size(), 1u);
    UnbindWindowEvent(EventFirstCustom + 1);
}

TEST(EventQueue, IdenticalToolkitEventsMergeButRoutinesStillRun) {
    StartTestToolkit();
    Calls.clear();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 200, 100, u"Queue", 0, -1), 0);
    auto *button = reinterpret_cast<QPushButton *>(ButtonGadget(4, 10, 10, 80, 24, u"Go"));
    ASSERT_NE(button, nullptr);
    while (PollEvent() != 0) {
    }
    BindControlEvent(4, Record);
    button->click();
    button->click();
    // Both clicks ran the routine, the queue holds one click.
    ASSERT_EQ(Calls.size(), 2u);
    EXPECT_EQ(Calls[0].code, EventGadget);
    EXPECT_EQ(Calls[0].object, 4);
    EXPECT_EQ(Calls[0].window, 0);
    EXPECT_EQ(Calls[0].type, GadgetEventLeftClick);
    EXPECT_EQ(PollEvent(), EventGadget);
    EXPECT_EQ(EventObject(), 4);
    EXPECT_EQ(PollEvent(), 0);
    // Once the first has been fetched, the same click queues again.
    button->click();
    EXPECT_EQ(PollEvent(), EventGadget);
    EXPECT_EQ(PollEvent(), 0);
    UnbindControlEvent(4);
}

TEST(EventQueue, CustomAndPostedEventsAreNeverMerged) {
    StartTestToolkit();
    for (int i = 0; i < 3; ++i) PostAppEvent(EventFirstCustom, 1, 2, 3, 4);
    PostAppEvent(EventTimer, 0, 30, 0, 0);
    PostAppEvent(EventTimer, 0, 30, 0, 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(PollEvent(), EventFirstCustom);
    EXPECT_EQ(PollEvent(), EventTimer);
    EXPECT_EQ(PollEvent(), EventTimer);
    EXPECT_EQ(PollEvent(), 0);
}

TEST(EventQueue, RoutineSeesItsOwnEventAndTheFetchedOneReturnsAfter) {
    StartTestToolkit();
    Calls.clear();
    ASSERT_NE(OpenAppWindow(0, 0, 0, 200, 100, u"Queue", 0, -1), 0);
    auto *button = reinterpret_cast<QPushButton *>(ButtonGadget(5, 10, 10, 80, 24, u"Go"));
    while (PollEvent() != 0) {
    }
    PostAppEvent(EventFirstCustom + 5, 8, 9, 10, 11);
    ASSERT_EQ(PollEvent(), EventFirstCustom + 5);
    BindControlEvent(5, Record);
    button->click(); // runs the routine now, while the posted event is current
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].code, EventGadget);
    EXPECT_EQ(Calls[0].object, 5);
    EXPECT_EQ(EventCode(), EventFirstCustom + 5);
    EXPECT_EQ(EventObject(), 9);
    EXPECT_EQ(EventPayload(), 11);
    UnbindControlEvent(5);
}

TEST(EventQueue, MostSpecificBindingWins) {
    StartTestToolkit();
    Calls.clear();
    BindWindowEvent(EventTimer, RecordAsAny);
    BindWindowEvent(EventTimer, RecordAsWindow, 2);
    BindWindowEvent(EventTimer, RecordAsSpecific, 2, 30);
    PostAppEvent(EventTimer, 2, 30, 0, 0);
    PostAppEvent(EventTimer, 2, 31, 0, 0);
    PostAppEvent(EventTimer, 5, 30, 0, 0);
    for (int i = 0; i < 3; ++i) PollEvent();
    ASSERT_EQ(Calls.size(), 3u);
    EXPECT_EQ(Calls[0].data, 1);
    EXPECT_EQ(Calls[1].data, 2);
    EXPECT_EQ(Calls[2].data, 3);
    // A gadget binding of one type beats the all-types binding of that gadget.
    Calls.clear();
    BindControlEvent(12, RecordAsAny);
    BindControlEvent(12, RecordAsSpecific, GadgetEventRightClick);
    PostAppEvent(EventGadget, 0, 12, GadgetEventRightClick, 0);
    PostAppEvent(EventGadget, 0, 12, GadgetEventMouseMove, 0);
    PostAppEvent(EventGadget, 0, 13, GadgetEventRightClick, 0); // bound to nothing
    for (int i = 0; i < 3; ++i) PollEvent();
    ASSERT_EQ(Calls.size(), 2u);
    EXPECT_EQ(Calls[0].data, 1);
    EXPECT_EQ(Calls[1].data, 3);
    UnbindWindowEvent(EventTimer);
    UnbindWindowEvent(EventTimer, 2);
    UnbindWindowEvent(EventTimer, 2, 30);
    UnbindControlEvent(12);
    UnbindControlEvent(12, GadgetEventRightClick);
}

TEST(EventQueue, PollAndTimedWaitReturnZeroWhenNothingArrives) {
    StartTestToolkit();
    EXPECT_EQ(PollEvent(), 0);
    EXPECT_EQ(EventCode(), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEventFor(60), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(55));
    PostAppEvent(EventFirstCustom, 0, 0, 0, 0);
    EXPECT_EQ(WaitForEventFor(1000), EventFirstCustom);
}
