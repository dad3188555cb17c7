#include "toolkit_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>

namespace {

std::vector<String> SpinTexts;
std::vector<int64_t> Types;
void RecordSpin() {
    SpinTexts.push_back(GetGadgetText(EventObject()));
    Types.push_back(EventKind());
}

void OpenTestWindow() {
    ASSERT_NE(OpenAppWindow(0, 0, 0, 400, 300, u"Gadgets", 0, -1), 0);
}

} // namespace

TEST(Gadgets, StringWithMaximumLengthFiveRefusesASixthCharacter) {
    StartTestToolkit();
    OpenTestWindow();
    auto *edit =
        reinterpret_cast<QLineEdit *>(StringGadget(4, 98, 30, 50, 24, u"", StringFlagNumeric));
    ASSERT_NE(edit, nullptr);
    SetGadgetAttribute(4, StringAttributeMaxLength, 5);
    EXPECT_EQ(GetGadgetAttribute(4, StringAttributeMaxLength), 5);
    QTest::keyClicks(edit, "123456");
    EXPECT_EQ(GetGadgetText(4), u"12345");
    // Digits only: letters are refused.
    SetGadgetText(4, u"");
    QTest::keyClicks(edit, "8a1x9");
    EXPECT_EQ(GetGadgetText(4), u"819");
    // Upper case conversion while typing.
    auto *upper =
        reinterpret_cast<QLineEdit *>(StringGadget(5, 0, 0, 80, 24, u"", StringFlagUpperCase));
    QTest::keyClicks(upper, "abC");
    EXPECT_EQ(GetGadgetText(5), u"ABC");
}

TEST(Gadgets, StringEventsComeFromTheUserOnly) {
    StartTestToolkit();
    OpenTestWindow();
    auto *edit = reinterpret_cast<QLineEdit *>(StringGadget(4, 0, 0, 80, 24, u"x", 0));
    while (PollEvent() != 0) {
    }
    SetGadgetText(4, u"program");
    EXPECT_EQ(PollEvent(), 0);
    QTest::keyClicks(edit, "y");
    ASSERT_EQ(PollEvent(), EventGadget);
    EXPECT_EQ(EventObject(), 4);
    EXPECT_EQ(EventKind(), GadgetEventChange);
}

TEST(Gadgets, SpinPassesTypedValuesOutsideItsRangeToTheHandler) {
    StartTestToolkit();
    OpenTestWindow();
    auto *spin = reinterpret_cast<QSpinBox *>(SpinGadget(16, 196, 319, 60, 24, 0, 255, 0));
    ASSERT_NE(spin, nullptr);
    SpinTexts.clear();
    Types.clear();
    BindControlEvent(16, RecordSpin);
    SetGadgetState(16, 200); // the program's own change raises nothing
    EXPECT_TRUE(SpinTexts.empty());
    EXPECT_EQ(GetGadgetState(16), 200);
    spin->findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(spin->findChild<QLineEdit *>(), "300");
    ASSERT_FALSE(SpinTexts.empty());
    EXPECT_EQ(SpinTexts.back(), u"300");
    EXPECT_EQ(Types.back(), GadgetEventChange);
    // The handler clamps as the application does; that is what shows.
    SetGadgetText(16, u"255");
    EXPECT_EQ(GetGadgetText(16), u"255");
    spin->findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(spin->findChild<QLineEdit *>(), "-5");
    EXPECT_EQ(SpinTexts.back(), u"-5");
    // The arrows stop at the ends of the range and do not wrap.
    SetGadgetState(16, 255);
    spin->stepUp();
    EXPECT_EQ(GetGadgetState(16), 255);
    SetGadgetState(16, 0);
    spin->stepDown();
    EXPECT_EQ(GetGadgetState(16), 0);
    spin->stepUp();
    EXPECT_EQ(GetGadgetState(16), 1);
    EXPECT_EQ(SpinTexts.back(), u"1");
    UnbindControlEvent(16);
}

TEST(Gadgets, HiddenAndShownGadgets) {
    StartTestToolkit();
    OpenTestWindow();
    ASSERT_NE(ButtonGadget(21, 6, 224, 256, 80, u""), 0);
    auto *widget = reinterpret_cast<QWidget *>(ControlPlatformHandle(21));
    EXPECT_EQ(IsGadgetHidden(21), 0);
    EXPECT_TRUE(widget->isVisible());
    HideGadget(21, 1);
    EXPECT_EQ(IsGadgetHidden(21), 1);
    EXPECT_FALSE(widget->isVisible());
    HideGadget(21, 0);
    EXPECT_EQ(IsGadgetHidden(21), 0);
    EXPECT_TRUE(widget->isVisible());
    DisableGadget(21, 1);
    EXPECT_FALSE(widget->isEnabled());
    DisableGadget(21, 0);
    EXPECT_TRUE(widget->isEnabled());
}

TEST(Gadgets, ContainersHoldTheGadgetsMadeUntilEndContainer) {
    StartTestToolkit();
    OpenTestWindow();
    ASSERT_NE(ContainerGadget(1, 120, 0, 268, 300, 0), 0);
    ASSERT_NE(TextGadget(10, 2, 3, 100, 22, u"Output folder", 0), 0);
    EndContainer();
    ASSERT_NE(TextGadget(11, 5, 5, 50, 22, u"Outside", TextFlagCentre), 0);
    auto *container = reinterpret_cast<QWidget *>(ControlPlatformHandle(1));
    auto *inside = reinterpret_cast<QWidget *>(ControlPlatformHandle(10));
    auto *outside = reinterpret_cast<QWidget *>(ControlPlatformHandle(11));
    EXPECT_EQ(inside->parentWidget(), container);
    EXPECT_NE(outside->parentWidget(), container);
    EXPECT_EQ(GadgetX(10), 2);
    EXPECT_EQ(GadgetY(10), 3);
    EXPECT_EQ(GetGadgetText(10), u"Output folder");
    ResizeGadget(1, KeepValue, KeepValue, KeepValue, 400);
    EXPECT_EQ(GadgetX(1), 120);
    EXPECT_EQ(GadgetWidth(1), 268);
    EXPECT_EQ(GadgetHeight(1), 400);
    // Freeing the container frees what it holds.
    FreeGadget(1);
    EXPECT_EQ(IsGadget(1), 0);
    EXPECT_EQ(IsGadget(10), 0);
    EXPECT_EQ(IsGadget(11), 1);
}

TEST(Gadgets, ItemsOfListsCombosAndEditors) {
    StartTestToolkit();
    OpenTestWindow();
    ASSERT_NE(ComboBoxGadget(9, 0, 0, 100, 24, 0), 0);
    AddGadgetItem(9, -1, u"Medium");
    AddGadgetItem(9, -1, u"High");
    SetGadgetState(9, 1);
    EXPECT_EQ(GetGadgetState(9), 1);
    EXPECT_EQ(GetGadgetText(9), u"High");
    EXPECT_EQ(CountGadgetItems(9), 2);

    auto *list = reinterpret_cast<QListWidget *>(ListViewGadget(19, 0, 30, 200, 80, 0));
    for (const char16_t *name : {u"Gray", u"-", u"Autumn"}) AddGadgetItem(19, -1, name);
    AddGadgetItem(19, 0, u"First");
    EXPECT_EQ(CountGadgetItems(19), 4);
    EXPECT_EQ(GetGadgetItemText(19, 0), u"First");
    EXPECT_EQ(GetGadgetItemText(19, 3), u"Autumn");
    SetGadgetItemText(19, 3, u"Heat camera");
    EXPECT_EQ(GetGadgetItemText(19, 3), u"Heat camera");
    EXPECT_EQ(GetGadgetState(19), -1);
    while (PollEvent() != 0) {
    }
    SetGadgetState(19, 1);
    EXPECT_EQ(GetGadgetText(19), u"Gray");
    EXPECT_EQ(PollEvent(), 0); // the program's selection raises nothing
    list->setFocus();
    while (PollEvent() != 0) { // the combo box lost the focus
    }
    QTest::keyClick(list, Qt::Key_Down); // the user's selection raises a change
    EXPECT_EQ(GetGadgetState(19), 2);
    ASSERT_EQ(PollEvent(), EventGadget);
    EXPECT_EQ(EventObject(), 19);
    EXPECT_EQ(EventKind(), GadgetEventChange);

    ASSERT_NE(EditorGadget(2, 0, 120, 300, 100, EditorFlagReadOnly), 0);
    EXPECT_EQ(CountGadgetItems(2), 0);
    SetGadgetText(2, u"Processing ...");
    AddGadgetItem(2, -1, u"");
    AddGadgetItem(2, -1, u"a.jpg");
    EXPECT_EQ(GetGadgetText(2), u"Processing ...\n\na.jpg");
    EXPECT_EQ(CountGadgetItems(2), 3);
    SetGadgetItemText(2, 2, u"b.png");
    EXPECT_EQ(GetGadgetItemText(2, 2), u"b.png");
    ScrollEditorToEnd(2); // must not disturb the text
    EXPECT_EQ(GetGadgetText(2), u"Processing ...\n\nb.png");
}

TEST(Gadgets, NumbersThatNameNoGadgetAnswerNothing) {
    StartTestToolkit();
    OpenTestWindow();
    EXPECT_EQ(GetGadgetText(999), u"");
    EXPECT_EQ(GetGadgetState(999), 0);
    EXPECT_EQ(ControlPlatformHandle(999), 0);
    SetGadgetText(999, u"x");
    HideGadget(999, 1);
    // A gadget number reused for creation replaces the old gadget.
    ASSERT_NE(ButtonGadget(30, 0, 0, 10, 10, u"old"), 0);
    ASSERT_NE(TextGadget(30, 0, 0, 10, 10, u"new", 0), 0);
    EXPECT_EQ(GadgetKind(30), GadgetKindText);
    EXPECT_EQ(GetGadgetText(30), u"new");
    // Gadgets die with their window.
    CloseAppWindow(0);
    EXPECT_EQ(IsGadget(30), 0);
    // Without a gadget list nothing can be made.
    EXPECT_EQ(ButtonGadget(31, 0, 0, 10, 10, u"nowhere"), 0);
}

TEST(Gadgets, AutomaticNumbers) {
    StartTestToolkit();
    OpenTestWindow();
    int64_t label = TextGadget(-1, 0, 120, 260, 20, u"Tintwell 1.1.1", TextFlagCentre);
    ASSERT_NE(label, 0);
    EXPECT_EQ(IsGadget(label), 1);
    EXPECT_EQ(GetGadgetText(label), u"Tintwell 1.1.1");
    FreeGadget(label);
    EXPECT_EQ(IsGadget(label), 0);
}

TEST(Gadgets, FocusMovesAwayFromTextFieldsWithEvents) {
    StartTestToolkit();
    OpenTestWindow();
    ASSERT_NE(ContainerGadget(1, 200, 0, 100, 100, 0), 0);
    EndContainer();
    auto *edit = reinterpret_cast<QLineEdit *>(StringGadget(4, 0, 0, 80, 24, u"", 0));
    ActivateWindow(0);
    ASSERT_TRUE(QTest::qWaitForWindowActive(reinterpret_cast<QWidget *>(WindowPlatformHandle(0))));
    FocusControl(4);
    EXPECT_TRUE(edit->hasFocus());
    FocusControl(1); // a container: no text field keeps the focus
    EXPECT_FALSE(edit->hasFocus());
    std::vector<int64_t> kinds;
    int code;
    while ((code = PollEvent()) != 0)
        if (code == EventGadget && EventObject() == 4) kinds.push_back(EventKind());
    ASSERT_EQ(kinds.size(), 2u);
    EXPECT_EQ(kinds[0], GadgetEventFocus);
    EXPECT_EQ(kinds[1], GadgetEventLostFocus);
    FocusControl(4);
    FocusControl(-1);
    EXPECT_EQ(QApplication::focusWidget(), nullptr);
}
