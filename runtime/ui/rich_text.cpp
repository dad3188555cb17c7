#include "runtime/ui/rich_text.h"

#include "runtime/ui/gadgets.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/rtf_reader.h"

#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <QFontMetricsF>
#include <QTextBlock>
#include <algorithm>
#include <vector>

namespace {

// Paragraphs with a tab are two columns (a key and what it does): one tab stop
// for all of them, past the widest first column, and a hanging indent so that
// the second column's wrapped lines stay in it.
void AlignTabColumns(QTextDocument *document) {
    QFontMetricsF metrics(document->defaultFont());
    qreal column = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        qsizetype tab = block.text().indexOf(u'\t');
        if (tab >= 0) column = std::max(column, metrics.horizontalAdvance(block.text().left(tab)));
    }
    if (column <= 0) return;
    column += 2 * metrics.averageCharWidth();
    QTextCursor cursor(document);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (!block.text().contains(u'\t')) continue;
        QTextBlockFormat format = block.blockFormat();
        format.setTabPositions({QTextOption::Tab(column, QTextOption::LeftTab)});
        format.setLeftMargin(column);
        format.setTextIndent(-column);
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
}

} // namespace

int LoadRichText(int64_t gadget, const unsigned char *bytes, size_t length) {
    GadgetRecord *record = GadgetOfKind(gadget, GadgetKindEditor);
    if (!record) return 0;
    std::vector<RichTextRun> runs;
    if (!ReadRichText(bytes, length, &runs)) return 0;
    auto *editor = static_cast<QTextEdit *>(record->handle);
    QTextDocument *document = editor->document();
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (const RichTextRun &run : runs) {
        QTextCharFormat format;
        format.setFontWeight(run.Bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(run.Italic != 0);
        // insertText makes a new paragraph of each "\n" and keeps U+2028 as a
        // line break inside the paragraph.
        cursor.insertText(QString::fromUtf8(run.Text.data(), qsizetype(run.Text.size())), format);
    }
    cursor.endEditBlock();
    AlignTabColumns(document);
    editor->moveCursor(QTextCursor::Start);
    return 1;
}
