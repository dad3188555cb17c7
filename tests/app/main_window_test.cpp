#include "app/main_window.h"

#include "app/colour_panel.h"
#include "app_harness.h"
#include "tone/presets.h"

#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTextEdit>

namespace {

struct Box {
    int x, y, width, height;
};

Box GeometryOf(int64_t gadget) {
    return {GadgetX(gadget), GadgetY(gadget), GadgetWidth(gadget), GadgetHeight(gadget)};
}

void ExpectGeometry(int64_t gadget, Box expected) {
    Box got = GeometryOf(gadget);
    EXPECT_EQ(got.x, expected.x) << "gadget " << gadget;
    EXPECT_EQ(got.y, expected.y) << "gadget " << gadget;
    EXPECT_EQ(got.width, expected.width) << "gadget " << gadget;
    EXPECT_EQ(got.height, expected.height) << "gadget " << gadget;
}

// The layout-dependent gadgets for an inner size W x H.
void ExpectLayoutFor(int w, int h) {
    int p = w - 290;
    ExpectGeometry(GadgetColourPanel, {w - 268, 0, 268, h});
    ExpectGeometry(GadgetOutputPanel, {6, h - 74, p, 68});
    ExpectGeometry(GadgetLog, {6, 6, p, h - 90});
    ExpectGeometry(GadgetDropBanner, {FloorDiv(p, 2) - 154, FloorDiv(h - 90, 4), 319, 25});
    ExpectGeometry(GadgetOutputFolder, {98, 0, p - 144, 22});
    ExpectGeometry(GadgetChooseFolder, {p - 40, 0, 40, 22});
    ExpectGeometry(GadgetQualityLabel, {p - 186, 33, 85, 22});
    ExpectGeometry(GadgetQuality, {p - 100, 30, 100, 24});
}

void ResizeMainWindow(int width, int height) {
    ResizeAppWindow(WindowMain, width, height);
    PumpEvents();
}

const int64_t EditingGadgets[] = {GadgetShiftSlider, GadgetPresetList, GadgetColourField, GadgetRed,
                                  GadgetGreen,       GadgetBlue,       GadgetStopStrip};

} // namespace

TEST(MainWindow, FloorDivisionRoundsDown) {
    EXPECT_EQ(FloorDiv(450, 2), 225);
    EXPECT_EQ(FloorDiv(-2, 2), -1);
    EXPECT_EQ(FloorDiv(-3, 2), -2);
    EXPECT_EQ(FloorDiv(-1, 4), -1);
    EXPECT_EQ(FloorDiv(374, 4), 93);
}

TEST(MainWindow, FirstStateAfterStartUp) {
    EnsureMainWindow();
    EXPECT_EQ(WindowInnerWidth(WindowMain), 740);
    EXPECT_EQ(WindowInnerHeight(WindowMain), 464);
    EXPECT_EQ(GetGadgetText(GadgetMaxWidth), u"8192");
    EXPECT_EQ(GetGadgetText(GadgetMaxHeight), u"8192");
    EXPECT_EQ(GetGadgetState(GadgetQuality), 1);
    EXPECT_EQ(GetGadgetText(GadgetQuality), u"High");
    EXPECT_EQ(GetGadgetItemText(GadgetQuality, 0), u"Medium");
    EXPECT_EQ(GetGadgetState(GadgetPresetList), 0);
    EXPECT_EQ(GetGadgetItemText(GadgetPresetList, 0), PresetName(0));
    EXPECT_EQ(PresetName(0).substr(0, 5), u"Gray ");
    EXPECT_EQ(SelectedStop, 0);
    EXPECT_EQ(GetGadgetText(GadgetRed), u"0");
    EXPECT_EQ(GetGadgetText(GadgetGreen), u"0");
    EXPECT_EQ(GetGadgetText(GadgetBlue), u"0");
    EXPECT_EQ(GetGadgetText(GadgetOutputFolder), u"");
    EXPECT_EQ(GetGadgetText(GadgetOutputLabel), u"Output folder");
    EXPECT_EQ(GetGadgetText(GadgetMaxSizeLabel), u"Max size");
    EXPECT_EQ(GetGadgetText(GadgetTimesLabel), u"x");
    EXPECT_EQ(GetGadgetText(GadgetQualityLabel), u"Jpeg quality");
    EXPECT_EQ(GetGadgetText(GadgetChooseFolder), u"...");
    EXPECT_EQ(GetGadgetAttribute(GadgetRed, SpinAttributeMinimum), 0);
    EXPECT_EQ(GetGadgetAttribute(GadgetBlue, SpinAttributeMaximum), 255);
    EXPECT_EQ(GetGadgetAttribute(GadgetMaxWidth, StringAttributeMaxLength), 5);
    EXPECT_EQ(GetGadgetAttribute(GadgetMaxHeight, StringAttributeMaxLength), 5);
    // The idle look: editing controls shown, STOP button and thumbnail hidden.
    for (int64_t gadget : EditingGadgets) EXPECT_FALSE(IsGadgetHidden(gadget)) << gadget;
    EXPECT_TRUE(IsGadgetHidden(GadgetStopButton));
    EXPECT_TRUE(IsGadgetHidden(GadgetThumbnail));
    EXPECT_EQ(GadgetKind(GadgetLog), GadgetKindEditor);
    EXPECT_EQ(GadgetKind(GadgetSample), GadgetKindCanvas);
    EXPECT_EQ(GadgetKind(GadgetHelpButton), GadgetKindImage);
    ExpectGeometry(GadgetSample, {6, 6, 256, 192});
    ExpectGeometry(GadgetShiftSlider, {12, 202, 244, 16});
    ExpectGeometry(GadgetStopStrip, {6, 426, 168, 20});
    ExpectGeometry(GadgetAboutButton, {234, 424, 24, 24});
}

TEST(MainWindow, LayoutAtMinimumAndAfterGrowing) {
    EnsureMainWindow();
    ResizeMainWindow(740, 464);
    ExpectLayoutFor(740, 464);
    // The figures at the minimum size, written out.
    EXPECT_EQ(GadgetWidth(GadgetLog), 450);
    EXPECT_EQ(GadgetHeight(GadgetLog), 374);
    EXPECT_EQ(GadgetY(GadgetOutputPanel), 390);
    EXPECT_EQ(GadgetX(GadgetColourPanel), 472);
    EXPECT_EQ(GadgetX(GadgetDropBanner), 71);
    EXPECT_EQ(GadgetY(GadgetDropBanner), 93);

    // Growing keeps the panel on the right edge at its width; the size event
    // runs the layout by itself.
    ResizeMainWindow(1001, 603);
    ASSERT_EQ(WindowInnerWidth(WindowMain), 1001);
    ASSERT_EQ(WindowInnerHeight(WindowMain), 603);
    ExpectLayoutFor(1001, 603);
    EXPECT_EQ(GadgetX(GadgetColourPanel), 733);
    EXPECT_EQ(GadgetX(GadgetDropBanner), 201);
    EXPECT_EQ(GadgetY(GadgetDropBanner), 128);
    ResizeMainWindow(740, 464);
    ExpectLayoutFor(740, 464);
}

TEST(MainWindow, CannotShrinkBelowMinimum) {
    EnsureMainWindow();
    ResizeMainWindow(500, 300);
    EXPECT_EQ(WindowInnerWidth(WindowMain), 740);
    EXPECT_EQ(WindowInnerHeight(WindowMain), 464);
    ExpectLayoutFor(740, 464);
}

TEST(MainWindow, PresetListHasEveryRow) {
    EnsureMainWindow();
    ASSERT_EQ(CountGadgetItems(GadgetPresetList), 33);
    int separators = 0;
    for (int row = 0; row < 33; row++) {
        String text = GetGadgetItemText(GadgetPresetList, row);
        EXPECT_EQ(text.size(), 24u) << "row " << row;
        EXPECT_EQ(text, PresetName(row)) << "row " << row;
        if (text[0] == u'-') separators++;
    }
    EXPECT_EQ(separators, 2);
    // The list keeps its 80 pixels and shows whole rows only.
    auto *list = static_cast<QListWidget *>(WidgetOf(GadgetPresetList));
    EXPECT_EQ(list->height(), 80);
    int row = list->sizeHintForRow(0);
    ASSERT_GT(row, 0);
    EXPECT_EQ(list->viewport()->height() % row, 0) << list->viewport()->height() << " / " << row;
    EXPECT_GE(list->viewport()->height() / row, 4);
    for (int n = 1; n <= 8; n++) {
        String expected = u"User preset " + String(1, char16_t(u'0' + n));
        EXPECT_EQ(GetGadgetItemText(GadgetPresetList, 24 + n).substr(0, expected.size()), expected);
    }
}

TEST(MainWindow, SizeFieldRefusesSixthCharacter) {
    EnsureMainWindow();
    auto *field = qobject_cast<QLineEdit *>(WidgetOf(GadgetMaxWidth));
    ASSERT_NE(field, nullptr);
    field->clear();
    QTest::keyClicks(field, "123456");
    PumpEvents();
    EXPECT_EQ(GetGadgetText(GadgetMaxWidth), u"12345");
    // Digits only.
    auto *other = qobject_cast<QLineEdit *>(WidgetOf(GadgetMaxHeight));
    ASSERT_NE(other, nullptr);
    other->clear();
    QTest::keyClicks(other, "4a2");
    EXPECT_EQ(GetGadgetText(GadgetMaxHeight), u"42");
    SetGadgetText(GadgetMaxWidth, u"8192");
    SetGadgetText(GadgetMaxHeight, u"8192");
}

TEST(MainWindow, BusyAndIdleLooks) {
    EnsureMainWindow();
    SetBusyMode(1);
    for (int64_t gadget : EditingGadgets) EXPECT_TRUE(IsGadgetHidden(gadget)) << gadget;
    EXPECT_FALSE(IsGadgetHidden(GadgetStopButton));
    EXPECT_FALSE(IsGadgetHidden(GadgetThumbnail));
    EXPECT_EQ(GetGadgetText(GadgetStopButton), u"STOP CONVERSION");
    EXPECT_TRUE(WidgetOf(GadgetStopButton)->isEnabled());
    EXPECT_EQ(CanvasPixel(GadgetThumbnail, 0, 0), 0xF2F2F2);
    EXPECT_EQ(CanvasPixel(GadgetThumbnail, 255, 95), 0xF2F2F2);
    // Sample, help and About stay in both looks.
    for (int64_t gadget : {GadgetSample, GadgetHelpButton, GadgetAboutButton, GadgetLog})
        EXPECT_FALSE(IsGadgetHidden(gadget)) << gadget;

    // Only bit 0 counts.
    SetBusyMode(2);
    for (int64_t gadget : EditingGadgets) EXPECT_FALSE(IsGadgetHidden(gadget)) << gadget;
    EXPECT_TRUE(IsGadgetHidden(GadgetStopButton));
    EXPECT_TRUE(IsGadgetHidden(GadgetThumbnail));
    SetBusyMode(3);
    EXPECT_TRUE(IsGadgetHidden(GadgetPresetList));
    // A disabled STOP button ("PLEASE WAIT") is enabled again by the next busy look.
    DisableGadget(GadgetStopButton, 1);
    SetBusyMode(1);
    EXPECT_TRUE(WidgetOf(GadgetStopButton)->isEnabled());
    SetBusyMode(0);
    for (int64_t gadget : EditingGadgets) EXPECT_FALSE(IsGadgetHidden(gadget)) << gadget;
    EXPECT_TRUE(IsGadgetHidden(GadgetStopButton));
}

TEST(MainWindow, LogScrollsToItsEnd) {
    EnsureMainWindow();
    String text;
    for (int line = 0; line < 200; line++) text += u"line\n";
    text += u"last";
    SetGadgetText(GadgetLog, text);
    auto *editor = qobject_cast<QTextEdit *>(WidgetOf(GadgetLog));
    ASSERT_NE(editor, nullptr);
    editor->verticalScrollBar()->setValue(0);
    QTextCursor end(editor->document());
    end.movePosition(QTextCursor::End);
    ASSERT_FALSE(editor->viewport()->rect().contains(editor->cursorRect(end)));
    ScrollLogToEnd();
    EXPECT_TRUE(editor->viewport()->rect().contains(editor->cursorRect(end)));
    EXPECT_GT(editor->verticalScrollBar()->value(), 0);
    SetGadgetText(GadgetLog, u"");
}
