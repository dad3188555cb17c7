#include "app/commands.h"

#include "app/handlers.h"
#include "app/worker_state.h"
#include "app_harness.h"
#include "runtime/base/threads.h"
#include "tone/presets.h"
#include "tone/stop_edits.h"
#include "tone/stop_text.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace {

std::atomic<int> ReleaseWorker{0};

void IdleWorker(int64_t) {
    while (!ReleaseWorker.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void ChooseGray() {
    SetGadgetState(GadgetPresetList, 0);
    PresetListHandler();
}

bool SameStops(const GradientStop *a, const GradientStop *b) {
    return std::memcmp(a, b, sizeof(GradientStop) * StopCount) == 0;
}

const char16_t *PasteText =
    u"!dd 0xff000000,0xff0000ff,0x0,0x0,0xff00ff00,0x0,0x0,0xffff0000,0xffffffff";

} // namespace

TEST(Commands, UserPresetAskedFirstNoThenYes) {
    EnsureMainWindow();
    ChooseGray();
    CurrentStops[4] = 0xFF00FF00;
    GradientStop before[StopCount];
    std::memcpy(before, PresetTable.rows[27].stops, sizeof before);
    ClearRequesterAnswers();

    QueueRequesterAnswer(AnswerNo, u"");
    PressControlKey(Qt::Key_3);
    EXPECT_EQ(QueuedRequesterAnswers(), 0);
    EXPECT_EQ(LastRequesterTitle(), u"User presets");
    EXPECT_EQ(LastRequesterText(), u"Overwrite user preset 3 ?");
    EXPECT_TRUE(SameStops(PresetTable.rows[27].stops, before));

    QueueRequesterAnswer(AnswerYes, u"");
    PressControlKey(Qt::Key_3);
    EXPECT_EQ(QueuedRequesterAnswers(), 0);
    EXPECT_TRUE(SameStops(PresetTable.rows[27].stops, CurrentStops));
    EXPECT_EQ(PresetName(27).substr(0, 13), u"User preset 3");
    // Nothing is redrawn: the list keeps its row names.
    EXPECT_EQ(GetGadgetItemText(GadgetPresetList, 27), PresetName(27));

    // Control+8 names user preset 8.
    QueueRequesterAnswer(AnswerNo, u"");
    PressControlKey(Qt::Key_8);
    EXPECT_EQ(LastRequesterText(), u"Overwrite user preset 8 ?");
    ChooseGray();
}

TEST(Commands, ToneCommandsRefusedWhileAWorkerLives) {
    EnsureMainWindow();
    ChooseGray();
    SelectStop(4);
    ClearRequesterAnswers();
    PutClipboardText(PasteText);

    ReleaseWorker = 0;
    int64_t thread = SpawnThread(IdleWorker, 0);
    ASSERT_NE(thread, 0);
    WorkerThread = thread;
    GradientStop before[StopCount];
    std::memcpy(before, CurrentStops, sizeof before);

    PressControlKey(Qt::Key_R);
    PressControlKey(Qt::Key_G);
    PressControlKey(Qt::Key_G, Qt::ShiftModifier);
    QueueRequesterAnswer(AnswerYes, u"");
    PressControlKey(Qt::Key_9);
    EXPECT_TRUE(SameStops(CurrentStops, before));
    EXPECT_EQ(QueuedRequesterAnswers(), 1) << "the paste must not even ask";
    ClearRequesterAnswers();

    // Storing a user preset, sticky and preview still work.
    QueueRequesterAnswer(AnswerNo, u"");
    PressControlKey(Qt::Key_1);
    EXPECT_EQ(QueuedRequesterAnswers(), 0);
    EXPECT_EQ(LastRequesterText(), u"Overwrite user preset 1 ?");
    PressControlKey(Qt::Key_S);
    EXPECT_EQ(MainWindowIsSticky(), 1);
    PressControlKey(Qt::Key_S);
    EXPECT_EQ(MainWindowIsSticky(), 0);
    PressControlKey(Qt::Key_P);

    ReleaseWorker = 1;
    ASSERT_EQ(JoinThreadFor(thread, 5000), 1);

    // The worker has ended (its handle still stored): the commands act again.
    PressControlKey(Qt::Key_G);
    EXPECT_TRUE(StopIsSet(CurrentStops[4])) << "grab sets the selected stop";
    ChooseGray();
    SelectStop(4);
    PressControlKey(Qt::Key_R);
    EXPECT_TRUE(StopIsSet(CurrentStops[4])) << "random colour sets the selected stop";

    QueueRequesterAnswer(AnswerYes, u"");
    PressControlKey(Qt::Key_9);
    EXPECT_EQ(LastRequesterTitle(), u"Clipboard data");
    EXPECT_EQ(LastRequesterText(), u"Paste from clipboard ?");
    EXPECT_EQ(CurrentStops[1], 0xFF0000FFu);
    EXPECT_EQ(CurrentStops[4], 0xFF00FF00u);
    EXPECT_EQ(CurrentStops[7], 0xFFFF0000u);
    // The paste refreshes the tone: the strip shows stop 1 red.
    EXPECT_EQ(CanvasPixel(GadgetStopStrip, 19 + 2, 4), 0x0000FF);
    WorkerThread = 0;
    ChooseGray();
}

TEST(Commands, PasteAnsweredNoChangesNothing) {
    EnsureMainWindow();
    ChooseGray();
    PutClipboardText(PasteText);
    GradientStop before[StopCount];
    std::memcpy(before, CurrentStops, sizeof before);
    ClearRequesterAnswers();
    QueueRequesterAnswer(AnswerNo, u"");
    PressControlKey(Qt::Key_9);
    EXPECT_EQ(QueuedRequesterAnswers(), 0);
    EXPECT_TRUE(SameStops(CurrentStops, before));
}

TEST(Commands, StickyTwiceRestoresTitleAndLevel) {
    EnsureMainWindow();
    ASSERT_EQ(WindowCaption(WindowMain), u"Tintwell");
    PressControlKey(Qt::Key_S);
    EXPECT_EQ(WindowCaption(WindowMain), u"\u00B7 Tintwell");
    EXPECT_EQ(MainWindowIsSticky(), 1);
    EXPECT_TRUE(MainWindowWidget()->windowFlags() & Qt::WindowStaysOnTopHint);
    PressControlKey(Qt::Key_S);
    EXPECT_EQ(WindowCaption(WindowMain), u"Tintwell");
    EXPECT_EQ(MainWindowIsSticky(), 0);
    EXPECT_FALSE(MainWindowWidget()->windowFlags() & Qt::WindowStaysOnTopHint);

    // Another window with an empty title (the About window's case).
    ASSERT_TRUE(OpenAppWindow(WindowAbout, KeepValue, KeepValue, 100, 100, u"", 0, -1));
    ToggleSticky(WindowAbout);
    EXPECT_EQ(WindowCaption(WindowAbout), u"\u00B7 ");
    ToggleSticky(WindowAbout);
    EXPECT_EQ(WindowCaption(WindowAbout), u"");
    CloseAppWindow(WindowAbout);
    EXPECT_EQ(MainWindowIsSticky(), 0);
}
