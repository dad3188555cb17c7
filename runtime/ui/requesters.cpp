// The message box and the folder chooser, with the queue of answers that lets
// tests answer them without a person.
#include "runtime/ui/requesters.h"
#include "runtime/ui/internal.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <deque>

namespace {

struct QueuedAnswer {
    int button = 0;
    String path;
};
std::deque<QueuedAnswer> Answers;
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
    box.exec();
    int answer = AnswerOf(box.standardButton(box.clickedButton()));
    Reactivate(active);
    return FitAnswer(flags, answer);
}

String ChooseFolderDialog(const String &title, const String &initialPath) {
    AskedTitle = title;
    AskedText = initialPath;
    QString chosen;
    if (!Answers.empty()) {
        chosen = ToQString(Answers.front().path);
        Answers.pop_front();
    } else if (QApplication::instance()) {
        QPointer<QWidget> active = QApplication::activeWindow();
        chosen = QFileDialog::getExistingDirectory(active, ToQString(title), ToQString(initialPath),
                                                   QFileDialog::ShowDirsOnly);
        Reactivate(active);
        // Links are resolved, so the folder written to is the real one.
        QString real = QFileInfo(chosen).canonicalFilePath();
        if (!real.isEmpty()) chosen = real;
    }
    if (chosen.isEmpty()) return String();
    if (!chosen.endsWith(u'/')) chosen += u'/';
    return FromQString(chosen);
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
