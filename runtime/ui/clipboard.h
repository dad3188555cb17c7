// Clipboard text. Main thread only.
#pragma once

#include "runtime/base/string_scratch.h"

// Clipboard plain text; empty when there is none.
String ClipboardText();
// Replaces the clipboard contents with the text; returns 1.
int PutClipboardText(const String &text);
