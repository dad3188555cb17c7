// The message box and the folder chooser, with the queue of answers that lets
// tests answer them without a person.
#include "runtime/ui/requesters.h"
#include "runtime/base/listing.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/ui/internal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <algorithm>
#include <cstdlib>
#include <deque>

namespace {

struct QueuedAnswer {
    int button = 0;
    String path;
};
std::deque<QueuedAnswer> Answers;

// A message box is at least this wide, and wider by its title's width plus room
// for a title bar's buttons and margins.
constexpr int MessageBoxMinimumWidth = 320;
constexpr int MessageBoxTitleRoom = 160;
String AskedTitle, AskedText;

// The answer a message box of these flags may give: anything else (a closed
// box, an answer that does not fit) is the box's negative answer.
int FitAnswer(int flags, int answer) {
    if (flags == MessageBoxYesNo) return answer == AnswerYes ? AnswerYes : AnswerNo;
    if (flags == MessageBoxYesNoCancel)
        return answer == AnswerYes || answer == AnswerNo ? answer : AnswerCancel;
    return 0;
}

int AnswerOf(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Yes:
        return AnswerYes;
    case QMessageBox::No:
        return AnswerNo;
    case QMessageBox::Cancel:
        return AnswerCancel;
    default:
        return -1;
    }
}

void Reactivate(QWidget *window) {
    if (window && window->isVisible()) window->activateWindow();
}

// Qt lists file names decoded with U+FFFD for bytes that are not UTF-8, so the
// folder picked in its dialog may name another folder or none. Each such part
// of the path is looked up among its parent's entries that Qt shows the same;
// empty when there is none or more than one (the person's choice is unknown).
String ExactFolder(const QString &picked) {
    if (!picked.contains(QChar(QChar::ReplacementCharacter))) return FromQString(picked);
    String exact;
    for (const QString &part : picked.split(u'/', Qt::SkipEmptyParts)) {
        String parent = exact + u"/";
        if (!part.contains(QChar(QChar::ReplacementCharacter))) {
            exact = parent + FromQString(part);
            continue;
        }
        int64_t listing = OpenListing(-1, parent);
        if (!listing) return String();
        String found;
        int matches = 0;
        while (NextListingEntry(listing)) {
            String name = ListingEntryName(listing);
            if (QFile::decodeName(QByteArray::fromStdString(Utf8Of(name))) == part) {
                found = name;
                ++matches;
            }
        }
        CloseListing(listing);
        if (matches != 1) return String();
        exact = parent + found;
    }
    return exact;
}

} // namespace

int ShowMessageBox(const String &title, const String &text, int flags) {
    AskedTitle = title;
    AskedText = text;
    if (flags != MessageBoxYesNo && flags != MessageBoxYesNoCancel) flags = MessageBoxOk;
    if (!Answers.empty()) {
        int answer = Answers.front().button;
        Answers.pop_front();
        return FitAnswer(flags, answer);
    }
    if (!QApplication::instance()) return FitAnswer(flags, -1);
    QPointer<QWidget> active = QApplication::activeWindow();
    QMessageBox box(active);
    // The title bar names the program; the box is wide enough that the window
    // manager need not cut that name short.
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setText(ToQString(title));
    box.setInformativeText(ToQString(text));
    if (flags == MessageBoxYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else if (flags == MessageBoxYesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        int width = MessageBoxTitleRoom +
                    QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle());
        grid->addItem(new QSpacerItem(std::max(width, MessageBoxMinimumWidth), 0), grid->rowCount(),
                      0, 1, grid->columnCount());
    }
    box.exec();
    int answer = AnswerOf(box.standardButton(box.clickedButton()));
    Reactivate(active);
    return FitAnswer(flags, answer);
}

String ChooseFolderDialog(const String &title, const String &initialPath) {
    AskedTitle = title;
    AskedText = initialPath;
    String chosen;
    if (!Answers.empty()) {
        chosen = Answers.front().path;
        Answers.pop_front();
    } else if (QApplication::instance()) {
        QPointer<QWidget> active = QApplication::activeWindow();
        QString picked = QFileDialog::getExistingDirectory(
            active, ToQString(title), ToQString(initialPath), QFileDialog::ShowDirsOnly);
        Reactivate(active);
        chosen = ExactFolder(picked);
        // Links are resolved, so the folder written to is the real one.
        std::string native;
        if (char *real =
                NativePath(chosen, &native) ? realpath(native.c_str(), nullptr) : nullptr) {
            chosen = StringFromUtf8(real);
            std::free(real);
        }
    }
    if (chosen.empty()) return String();
    if (chosen.back() != u'/') chosen += u'/';
    return chosen;
}

void QueueRequesterAnswer(int button, const String &path) {
    Answers.push_back({button, path});
}
int QueuedRequesterAnswers() {
    return int(Answers.size());
}

void ClearRequesterAnswers() {
    Answers.clear();
    AskedTitle.clear();
    AskedText.clear();
}

String LastRequesterTitle() {
    return AskedTitle;
}
String LastRequesterText() {
    return AskedText;
}
