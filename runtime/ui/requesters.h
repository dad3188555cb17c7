// Modal requesters: the message box and the folder chooser. Main thread only.
//
// Tests answer requesters without a person: while answers are queued, the next
// requester takes the next answer without showing anything, and every requester
// records the title and text it was asked.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

constexpr int MessageBoxOk = 0;          // flags 0: one button, answer 0
constexpr int MessageBoxYesNo = 1;       // answers 6 (Yes) or 7 (No)
constexpr int MessageBoxYesNoCancel = 2; // answers 6, 7 or 2 (Cancel)
constexpr int AnswerYes = 6;
constexpr int AnswerNo = 7;
constexpr int AnswerCancel = 2;

// Modal alert with the title as message and the text as informative text. An
// answer outside the set of the flags (closing the box, a queued answer that
// does not fit) counts as No for flag 1, Cancel for flag 2, 0 for flag 0.
// The window that was active is made active again afterwards.
int ShowMessageBox(const String &title, const String &text, int flags);

// Folder chooser (folders only, one selection, links resolved) starting at the
// initial path. The chosen folder ends with "/"; empty when cancelled.
String ChooseFolderDialog(const String &title, const String &initialPath);

// For tests: queues one answer; a message box takes `button`, a folder chooser
// takes `path` (an empty path is a cancel).
void QueueRequesterAnswer(int button, const String &path);
int QueuedRequesterAnswers(); // answers not yet taken
void ClearRequesterAnswers(); // also forgets the recorded question
String LastRequesterTitle();  // title of the last requester asked
String LastRequesterText();   // its text (the initial path for a folder chooser)
