// The help and About windows, opened from the main window's "?" and "i" buttons
// and looked at as the user would: titles, sizes, the help text's headings and
// tabs, the credits, the sticky rules.
#include "app/about_window.h"
#include "app/commands.h"
#include "app/help_window.h"
#include "app_harness.h"
#include "resources/version.h"

#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

namespace {

QTextEdit *EditorOf(int64_t gadget) {
    return static_cast<QTextEdit *>(WidgetOf(gadget));
}

QWidget *WindowWidget(int64_t window) {
    return reinterpret_cast<QWidget *>(WindowPlatformHandle(window));
}

void ClickButton(int64_t gadget) {
    QTest::mouseClick(WidgetOf(gadget), Qt::LeftButton);
    PumpEvents();
}

// Closes a window through its close button, as the user would.
void CloseByUser(int64_t window) {
    WindowWidget(window)->close();
    PumpEvents();
}

// The paragraph of the editor whose text is `text`, or an invalid block.
QTextBlock BlockWithText(QTextEdit *editor, const QString &text) {
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next())
        if (b.text() == text) return b;
    return {};
}

} // namespace

TEST(HelpWindow, HeadingsTabsSizeAndMargin) {
    EnsureMainWindow();
    ClickButton(GadgetHelpButton);
    ASSERT_EQ(WindowExists(WindowHelp), 1);
    EXPECT_EQ(WindowCaption(WindowHelp), u"Tintwell help");
    EXPECT_EQ(WindowInnerWidth(WindowHelp), 520);
    EXPECT_EQ(WindowInnerHeight(WindowHelp), 350);
    EXPECT_FALSE(WindowWidget(WindowHelp)->isHidden());

    QTextEdit *editor = EditorOf(GadgetHelpText);
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_EQ(editor->lineWrapMode(), QTextEdit::WidgetWidth);
    QString text = editor->toPlainText();
    EXPECT_TRUE(text.startsWith("Tintwell is a small free utility")) << text.left(60).toStdString();
    for (const char *heading : {"Overview", "Drop area", "Output settings", "Color settings",
                                "Grabbing screen colors", "Preview window"}) {
        QTextBlock block = BlockWithText(editor, heading);
        ASSERT_TRUE(block.isValid()) << heading;
        EXPECT_EQ(block.begin().fragment().charFormat().fontWeight(), QFont::Bold) << heading;
        // The paragraph after a heading is plain text.
        EXPECT_EQ(block.next().begin().fragment().charFormat().fontWeight(), QFont::Normal)
            << heading;
    }
    EXPECT_TRUE(text.contains("[ctrl]+G\ttake the color under the mouse"));
    EXPECT_TRUE(text.contains("[shift]+[ctrl]+G\t"));
    EXPECT_FALSE(text.contains("\\")) << "no RTF markup may show";
    EXPECT_FALSE(text.contains("Courier")) << "the font table is not text";
    EXPECT_TRUE(text.contains("A folder must be dropped on its own: dropped together with files, "
                              "it is not opened and shows as an [Error] line."));

    // The key lists are two columns: what follows the tab starts at one x in
    // every such paragraph, and its wrapped lines stay in that column.
    editor->document()->documentLayout()->documentSize();
    std::vector<qreal> columns;
    int wrapped = 0;
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next()) {
        int tab = int(b.text().indexOf(u'\t'));
        if (tab < 0) continue;
        QTextLayout *layout = b.layout();
        ASSERT_GT(layout->lineCount(), 0);
        QTextLine first = layout->lineForTextPosition(tab + 1);
        qreal column = first.cursorToX(tab + 1);
        columns.push_back(column);
        for (int n = 1; n < layout->lineCount(); n++, wrapped++)
            EXPECT_NEAR(layout->lineAt(n).x(), column, 0.5) << b.text().toStdString();
    }
    ASSERT_EQ(columns.size(), 6u);
    for (qreal column : columns) EXPECT_NEAR(column, columns[0], 0.5);
    EXPECT_GT(wrapped, 0) << "a long description wraps";

    // The text follows the window with a 10-pixel margin; the window keeps its
    // minimum size.
    ResizeAppWindow(WindowHelp, 640, 480);
    PumpEvents();
    EXPECT_EQ(GadgetX(GadgetHelpText), 10);
    EXPECT_EQ(GadgetY(GadgetHelpText), 10);
    EXPECT_EQ(GadgetWidth(GadgetHelpText), 620);
    EXPECT_EQ(GadgetHeight(GadgetHelpText), 460);
    ResizeAppWindow(WindowHelp, 100, 50);
    PumpEvents();
    EXPECT_EQ(WindowInnerWidth(WindowHelp), 300);
    EXPECT_EQ(WindowInnerHeight(WindowHelp), 200);
    EXPECT_EQ(GadgetWidth(GadgetHelpText), 280);
    EXPECT_EQ(GadgetHeight(GadgetHelpText), 180);

    // A second click brings the same window forward; its text is not rebuilt.
    QWidget *before = WindowWidget(WindowHelp);
    ClickButton(GadgetHelpButton);
    EXPECT_EQ(WindowWidget(WindowHelp), before);
    EXPECT_EQ(WindowInnerWidth(WindowHelp), 300);
    CloseByUser(WindowHelp);
    EXPECT_EQ(WindowExists(WindowHelp), 0);
    EXPECT_EQ(WindowExists(WindowMain), 1);
}

TEST(HelpWindow, FollowsTheMainWindowSticky) {
    EnsureMainWindow();
    PressControlKey(Qt::Key_S);
    ASSERT_EQ(MainWindowIsSticky(), 1);
    ClickButton(GadgetHelpButton);
    EXPECT_EQ(WindowCaption(WindowHelp), u"\u00B7 Tintwell help");
    EXPECT_TRUE(WindowWidget(WindowHelp)->windowFlags() & Qt::WindowStaysOnTopHint);
    // Control+S in the help window changes the help window alone.
    QTest::keyClick(WindowWidget(WindowHelp), Qt::Key_S, Qt::ControlModifier);
    PumpEvents();
    EXPECT_EQ(WindowCaption(WindowHelp), u"Tintwell help");
    EXPECT_FALSE(WindowWidget(WindowHelp)->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(MainWindowIsSticky(), 1);
    CloseByUser(WindowHelp);

    // The About window follows too; its empty title becomes the bare marker.
    ClickButton(GadgetAboutButton);
    EXPECT_EQ(WindowCaption(WindowAbout), u"\u00B7 ");
    CloseByUser(WindowAbout);
    PressControlKey(Qt::Key_S);
    ASSERT_EQ(MainWindowIsSticky(), 0);
    ClickButton(GadgetHelpButton);
    EXPECT_EQ(WindowCaption(WindowHelp), u"Tintwell help");
    CloseByUser(WindowHelp);
}

TEST(AboutWindow, IconLinesAndCredits) {
    EnsureMainWindow();
    ClickButton(GadgetAboutButton);
    ASSERT_EQ(WindowExists(WindowAbout), 1);
    EXPECT_EQ(WindowCaption(WindowAbout), u"");
    EXPECT_EQ(WindowInnerWidth(WindowAbout), 260);
    EXPECT_EQ(WindowInnerHeight(WindowAbout), 320);
    // Fixed size: it cannot be made larger or smaller.
    ResizeAppWindow(WindowAbout, 400, 400);
    PumpEvents();
    EXPECT_EQ(WindowInnerWidth(WindowAbout), 260);
    EXPECT_EQ(WindowInnerHeight(WindowAbout), 320);

    EXPECT_EQ(GadgetX(GadgetAboutIcon), 82);
    EXPECT_EQ(GadgetY(GadgetAboutIcon), 16);
    EXPECT_EQ(GadgetWidth(GadgetAboutIcon), 96);
    EXPECT_FALSE(WidgetOf(GadgetAboutIcon)->acceptDrops());

    QStringList lines;
    for (QLabel *label : WindowWidget(WindowAbout)->findChildren<QLabel *>())
        lines << label->text();
    EXPECT_TRUE(lines.contains(QString("Tintwell ") + TintwellVersion))
        << lines.join("|").toStdString();
    EXPECT_TRUE(lines.contains("Distributed by Quillcraft"));

    QTextEdit *credits = EditorOf(GadgetAboutText);
    EXPECT_TRUE(credits->isReadOnly());
    String text = GetGadgetText(GadgetAboutText);
    EXPECT_EQ(text.substr(0, 10), u"Credits:\n\n");
    EXPECT_NE(text.find(u"\n\n~\n\nAcknowledgements:\n\n"), String::npos);
    EXPECT_NE(text.find(u"libjpeg-turbo"), String::npos);
    EXPECT_NE(text.find(u"libpng"), String::npos);
    EXPECT_EQ(text.substr(text.size() - 2), u"\n\n");
    EXPECT_EQ(text, AboutCreditsText());
    // Typing into the credits changes nothing.
    credits->setFocus();
    QTest::keyClicks(credits, "xyz");
    EXPECT_EQ(GetGadgetText(GadgetAboutText), text);
    CloseByUser(WindowAbout);
    EXPECT_EQ(WindowExists(WindowAbout), 0);
}
