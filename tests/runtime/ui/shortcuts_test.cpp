#include "toolkit_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

namespace {

QWidget *Top(int64_t window) {
    return reinterpret_cast<QWidget *>(WindowPlatformHandle(window));
}

void OpenActiveWindow() {
    ASSERT_NE(OpenAppWindow(0, 0, 0, 300, 200, u"Keys", 0, -1), 0);
    ActivateWindow(0);
    ASSERT_TRUE(QTest::qWaitForWindowActive(Top(0)));
    while (PollEvent() != 0) {
    }
}

int NextMenuEvent() {
    int code;
    while ((code = PollEvent()) != 0)
        if (code == EventMenu) return code;
    return 0;
}

} // namespace

TEST(Shortcuts, ControlGSendsItsIdToTheWindowThatHasIt) {
    StartTestToolkit();
    OpenActiveWindow();
    AddShortcut(0, ShortcutControl | 'G', 95);
    AddShortcut(0, ShortcutControl | ShortcutShift | 'G', 96);
    AddShortcut(0, ShortcutControl | '1', 100);
    auto *edit = reinterpret_cast<QLineEdit *>(StringGadget(4, 0, 0, 100, 24, u"", 0));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_G, Qt::ControlModifier);
    ASSERT_EQ(NextMenuEvent(), EventMenu);
    EXPECT_EQ(EventObject(), 95);
    EXPECT_EQ(EventWindowNumber(), 0);
    QTest::keyClick(edit, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(NextMenuEvent(), EventMenu);
    EXPECT_EQ(EventObject(), 96);
    QTest::keyClick(edit, Qt::Key_1, Qt::ControlModifier);
    ASSERT_EQ(NextMenuEvent(), EventMenu);
    EXPECT_EQ(EventObject(), 100);
    // The key went no further.
    EXPECT_EQ(GetGadgetText(4), u"");
    // Plain keys and unknown combinations reach the field.
    QTest::keyClick(edit, Qt::Key_G);
    QTest::keyClick(edit, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(NextMenuEvent(), 0);
    EXPECT_EQ(GetGadgetText(4), u"g");
}

TEST(Shortcuts, AddingAnExistingShortcutReplacesIt) {
    StartTestToolkit();
    OpenActiveWindow();
    AddShortcut(0, ShortcutControl | 'S', 97);
    AddShortcut(0, ShortcutControl | 'S', 197);
    QTest::keyClick(Top(0), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(NextMenuEvent(), EventMenu);
    EXPECT_EQ(EventObject(), 197);
    EXPECT_EQ(NextMenuEvent(), 0);
    RemoveShortcut(0, ShortcutControl | 'S');
    QTest::keyClick(Top(0), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(NextMenuEvent(), 0);
}

TEST(Shortcuts, InactiveWindowsAndEditingKeysAreLeftAlone) {
    StartTestToolkit();
    OpenActiveWindow();
    ASSERT_NE(OpenAppWindow(2, 50, 50, 200, 100, u"Other", WindowFlagNoGadgetList, -1), 0);
    AddShortcut(2, ShortcutControl | 'P', 98);
    ActivateWindow(0);
    ASSERT_TRUE(QTest::qWaitForWindowActive(Top(0)));
    while (PollEvent() != 0) {
    }
    QTest::keyClick(Top(2), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(NextMenuEvent(), 0);

    // A shortcut on Control+A does not take select-all from a focused field.
    AddShortcut(0, ShortcutControl | 'A', 55);
    auto *edit = reinterpret_cast<QLineEdit *>(StringGadget(4, 0, 0, 100, 24, u"abc", 0));
    edit->setFocus();
    edit->deselect();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(NextMenuEvent(), 0);
    EXPECT_EQ(edit->selectedText(), "abc");
}
