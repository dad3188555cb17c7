// Rich text in editor gadgets: the RTF reader's runs turned into the editor's
// document. Main thread only, like every gadget call.
#pragma once

#include <cstddef>
#include <cstdint>

// Replaces the whole content of editor `gadget` by the text an RTF block holds
// (paragraphs, line breaks, tabs, bold and italic); the paragraphs that hold a tab
// line up in two columns at one tab stop. The bytes stay the caller's.
// A block that is not RTF, or a gadget that is not an editor, leaves the editor
// as it was and answers 0; otherwise 1.
int LoadRichText(int64_t gadget, const unsigned char *bytes, size_t length);
