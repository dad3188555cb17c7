#include "runtime/ui/rich_text.h"

#include "runtime/ui/gadgets.h"
#include "runtime/ui/internal.h"
#include "runtime/ui/rtf_reader.h"

#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <vector>

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
    editor->moveCursor(QTextCursor::Start);
    return 1;
}
