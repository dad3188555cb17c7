// Reads rich text (RTF) into runs of UTF-8 text carrying bold and italic, the only character
// styles the program's text views show. Standard C++ only, no Qt. It owns no state beyond one
// call: everything lives on the caller's stack and in the caller's vector, so any thread may
// call it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One run of text with one style. Text is UTF-8; a paragraph end is "\n", a line break inside a
// paragraph (\line) is U+2028, a tab "\t". Bold and Italic are 0 or 1.
struct RichTextRun {
    std::string Text;
    int Bold;
    int Italic;
};

// Groups open at once, the document's own outer group included. Groups opened beyond this are
// skipped whole, their content included.
constexpr int RichTextMaxGroupDepth = 256;

// Decodes an RTF byte block into runs (adjacent runs with equal style merged). Returns 0 when the
// block is not RTF at all (does not start with "{\rtf" after optional whitespace) — the caller then
// leaves its editor as it was, and *runs is left untouched; also 0 when runs is null. Returns 1
// otherwise, with *runs replaced by whatever could be read, also for truncated or damaged input:
// input cut short anywhere decodes to a prefix of the text the whole document gives. No byte at
// or past bytes[length] is read. \'hh escapes and raw bytes above 0x7F are read as code page 1252
// whatever the document declares.
int ReadRichText(const unsigned char *bytes, size_t length, std::vector<RichTextRun> *runs);
