// The text form in which a stop list travels through the clipboard:
// "!dd " and the nine stops 0..8, each "0x" with eight lower-case hexadecimal
// digits of the 32-bit value (A, B, G, R), separated by "," with no spaces.
// The caller moves the text to and from the clipboard. Main thread only.
#pragma once

#include "runtime/base/string_scratch.h"

// The text of CurrentStops (102 characters).
String CopyStopsAsText();

// The question asked before a paste; non-zero means Yes.
using ConfirmPaste = int (*)();

// Replaces CurrentStops from `text` when "0x" occurs in it exactly nine times and
// `confirm` answers Yes (a null `confirm` asks nothing and counts as Yes). Each of
// the nine "0x" is followed by up to eight hexadecimal digits of either case; a
// stop with no digits becomes 0, and the A byte is kept as written. Returns 1 when
// pasted; otherwise nothing changes (and `confirm` is not asked unless the count
// of "0x" is right). The colour table is not rebuilt here.
int PasteStopsFromText(const String &text, ConfirmPaste confirm);
