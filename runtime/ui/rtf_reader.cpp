// One pass over the bytes: braces open and close groups, a backslash starts a control word or
// control symbol, everything else is text in code page 1252. Each group saves the character
// state on entry and gets it back on exit; destinations that hold no text (tables, pictures,
// headers, starred groups) mark their group as skipped, and everything inside is still
// tokenised the same way so escaped braces and binary data cannot unbalance the groups.
#include "runtime/ui/rtf_reader.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {

// Code page 1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
// Every other byte is the Unicode character of the same number.
const char16_t Cp1252Upper[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,      // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, // 0x98
};

// Destinations whose content is never text. The header and footer family are listed by name,
// since each is a word of its own.
const std::string_view SkippedDestinations[] = {
    "fonttbl", "colortbl",  "stylesheet",        "info",   "pict",    "header",
    "headerl", "headerr",   "headerf",           "footer", "footerl", "footerr",
    "footerf", "listtable", "listoverridetable", "revtbl", "rsidtbl", "filetbl",
};

// Longer control words than this are no word the reader knows; the letters are still consumed.
constexpr size_t MaxWordLength = 32;
// Digits past this value are consumed but no longer added, so a parameter cannot overflow.
constexpr long long ParameterCeiling = 1000000000000LL;
// \ucN beyond this is taken as this many fallback characters.
constexpr int MaxFallbackCount = 64;

// The character state a group saves on '{' and gets back on '}'.
struct GroupState {
    int Bold;
    int Italic;
    int FallbackCount; // characters that stand in for each \uN (\ucN, 1 by default)
    int Skip;          // 1 inside a destination whose content is not text
};

struct Reader {
    const unsigned char *Bytes;
    size_t Length;
    size_t Pos;
    GroupState State;
    std::vector<GroupState> Saved; // one entry per open group, the outer group first
    int Overflow;                  // groups open beyond RichTextMaxGroupDepth
    int GroupStart;                // 1 until the first token of the group just opened
    int FallbackLeft;              // fallback characters still to drop after a \uN
    char32_t HighSurrogate;        // first half of a pair waiting for its second; 0 if none
    std::vector<RichTextRun> *Runs;
};

bool IsLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Ignoring(const Reader &r) {
    return r.State.Skip || r.Overflow > 0;
}

void AppendUtf8(std::string *out, char32_t c) {
    if (c < 0x80) {
        out->push_back(char(c));
    } else if (c < 0x800) {
        out->push_back(char(0xC0 | (c >> 6)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(char(0xE0 | (c >> 12)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (c >> 18)));
        out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    }
}

// Appends one character in the current style, starting a new run only when the style differs
// from the last run's.
void Put(Reader *r, char32_t c) {
    std::vector<RichTextRun> &runs = *r->Runs;
    if (runs.empty() || runs.back().Bold != r->State.Bold || runs.back().Italic != r->State.Italic)
        runs.push_back({std::string(), r->State.Bold, r->State.Italic});
    AppendUtf8(&runs.back().Text, c);
}

// A high surrogate that nothing paired with becomes U+FFFD.
void FlushSurrogate(Reader *r) {
    if (!r->HighSurrogate) return;
    r->HighSurrogate = 0;
    Put(r, 0xFFFD);
}

void Emit(Reader *r, char32_t c) {
    if (Ignoring(*r)) return;
    FlushSurrogate(r);
    Put(r, c);
}

// A byte of text, from the source itself or from \'hh. Control bytes other than tab carry no
// text, nor do the bytes code page 1252 leaves undefined.
void EmitByte(Reader *r, unsigned char b) {
    char32_t c = (b >= 0x80 && b < 0xA0) ? char32_t(Cp1252Upper[b - 0x80]) : char32_t(b);
    if (c == '\t' || (c >= 0x20 && c != 0x7F)) Emit(r, c);
}

// \uN: a UTF-16 unit written as a signed 16-bit number.
void EmitUnicode(Reader *r, int value) {
    if (Ignoring(*r)) return;
    if (value < 0) value += 65536;
    if (value <= 0 || value > 0xFFFF) {
        if (value != 0) Emit(r, 0xFFFD);
        return;
    }
    char32_t unit = char32_t(value);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        FlushSurrogate(r);
        r->HighSurrogate = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (r->HighSurrogate) {
            char32_t high = r->HighSurrogate;
            r->HighSurrogate = 0;
            Put(r, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        } else {
            Put(r, 0xFFFD);
        }
    } else {
        Emit(r, unit);
    }
}

void OpenGroup(Reader *r) {
    FlushSurrogate(r);
    r->FallbackLeft = 0;
    r->GroupStart = 1;
    if (r->Overflow > 0 || r->Saved.size() >= size_t(RichTextMaxGroupDepth)) {
        r->Overflow++;
        return;
    }
    r->Saved.push_back(r->State);
}

// Answers false once the outer group has closed (or a '}' has nothing to close): whatever
// follows is not part of the document.
bool CloseGroup(Reader *r) {
    FlushSurrogate(r);
    r->FallbackLeft = 0;
    r->GroupStart = 0;
    if (r->Overflow > 0) {
        r->Overflow--;
        return true;
    }
    if (r->Saved.empty()) return false;
    r->State = r->Saved.back();
    r->Saved.pop_back();
    return !r->Saved.empty();
}

// Marks the current group as one whose content is skipped. The document's own group is never
// skipped, which would lose the whole text to one misplaced word; nor is a group past the depth
// cap marked, as it has no saved state of its own to get back when it closes.
void SkipGroup(Reader *r) {
    if (r->Overflow == 0 && r->Saved.size() >= 2) r->State.Skip = 1;
}

// A backslash and letters, with an optional signed number and one optional space. Answers false
// when reading must stop: a word that runs into the end of the input may have been cut short
// (\u83 of \u8364), so it is dropped rather than acted on.
bool ReadControlWord(Reader *r) {
    size_t p = r->Pos + 1;
    char name[MaxWordLength];
    size_t nameLength = 0;
    bool tooLong = false;
    while (p < r->Length && IsLetter(r->Bytes[p])) {
        if (nameLength < MaxWordLength)
            name[nameLength++] = char(r->Bytes[p]);
        else
            tooLong = true;
        p++;
    }
    bool negative = false;
    if (p < r->Length && r->Bytes[p] == '-') {
        if (p + 1 >= r->Length) return false;
        if (IsDigit(r->Bytes[p + 1])) {
            negative = true;
            p++;
        }
    }
    bool hasParameter = false;
    long long magnitude = 0;
    while (p < r->Length && IsDigit(r->Bytes[p])) {
        hasParameter = true;
        if (magnitude < ParameterCeiling) magnitude = magnitude * 10 + (r->Bytes[p] - '0');
        p++;
    }
    if (p >= r->Length) return false;
    if (r->Bytes[p] == ' ') p++;
    r->Pos = p;

    int parameter = int(std::min<long long>(magnitude, INT32_MAX));
    if (negative) parameter = -parameter;
    std::string_view word = tooLong ? std::string_view() : std::string_view(name, nameLength);
    r->GroupStart = 0;
    r->FallbackLeft = 0; // a control word ends the fallback of a \uN

    if (word == "bin") {
        // Raw binary data of the given length follows; none of it is text or markup.
        size_t count = size_t(std::max(parameter, 0));
        if (count > r->Length - r->Pos) return false;
        r->Pos += count;
        return true;
    }
    if (Ignoring(*r)) return true;
    if (word == "par") {
        Emit(r, '\n');
    } else if (word == "line") {
        Emit(r, 0x2028);
    } else if (word == "tab") {
        Emit(r, '\t');
    } else if (word == "b") {
        r->State.Bold = (!hasParameter || parameter != 0) ? 1 : 0;
    } else if (word == "i") {
        r->State.Italic = (!hasParameter || parameter != 0) ? 1 : 0;
    } else if (word == "plain") {
        r->State.Bold = 0;
        r->State.Italic = 0;
    } else if (word == "uc") {
        if (hasParameter) r->State.FallbackCount = std::clamp(parameter, 0, MaxFallbackCount);
    } else if (word == "u") {
        if (hasParameter) {
            EmitUnicode(r, parameter);
            r->FallbackLeft = r->State.FallbackCount;
        }
    } else {
        for (std::string_view skipped : SkippedDestinations)
            if (word == skipped) SkipGroup(r);
        // \pard and every word the reader does not know change nothing in the text.
    }
    return true;
}

// A backslash and one non-letter. Answers false when reading must stop at a cut-short escape.
bool ReadControl(Reader *r) {
    if (r->Pos + 1 >= r->Length) return false;
    unsigned char symbol = r->Bytes[r->Pos + 1];
    if (IsLetter(symbol)) return ReadControlWord(r);
    r->Pos += 2;
    int groupStart = r->GroupStart;
    r->GroupStart = 0;

    if (symbol == '*') {
        // {\* ... }: a destination the reader may not know; it is never text.
        if (groupStart) SkipGroup(r);
        return true;
    }
    if (symbol == '\r' || symbol == '\n') {
        // A backslash ending a source line is an old way of writing \par.
        r->FallbackLeft = 0;
        Emit(r, '\n');
        return true;
    }
    int hexByte = -1;
    if (symbol == '\'') {
        if (r->Length - r->Pos < 2) return false;
        int high = HexValue(r->Bytes[r->Pos]);
        int low = HexValue(r->Bytes[r->Pos + 1]);
        if (high < 0 || low < 0) return true; // not an escape after all; read on as text
        r->Pos += 2;
        hexByte = high * 16 + low;
    }
    // Any character-like symbol may be one of the fallback characters of a \uN.
    if (r->FallbackLeft > 0) {
        r->FallbackLeft--;
        return true;
    }
    if (hexByte >= 0)
        EmitByte(r, (unsigned char)hexByte);
    else if (symbol == '{' || symbol == '}' || symbol == '\\')
        Emit(r, symbol);
    else if (symbol == '~')
        Emit(r, 0x00A0);
    else if (symbol == '_')
        Emit(r, 0x2011);
    // \- (an optional hyphen) and other symbols add nothing.
    return true;
}

} // namespace

int ReadRichText(const unsigned char *bytes, size_t length, std::vector<RichTextRun> *runs) {
    if (!runs || !bytes) return 0;
    size_t start = 0;
    while (start < length && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r' ||
                              bytes[start] == '\n'))
        start++;
    const std::string_view signature = "{\\rtf";
    if (length - start < signature.size() ||
        std::string_view(reinterpret_cast<const char *>(bytes + start), signature.size()) !=
            signature)
        return 0;

    runs->clear();
    Reader r{};
    r.Bytes = bytes;
    r.Length = length;
    r.Pos = start;
    r.State = {0, 0, 1, 0};
    r.Runs = runs;
    r.Saved.reserve(RichTextMaxGroupDepth);

    while (r.Pos < r.Length) {
        unsigned char c = r.Bytes[r.Pos];
        if (c == '{') {
            r.Pos++;
            OpenGroup(&r);
        } else if (c == '}') {
            r.Pos++;
            if (!CloseGroup(&r)) break;
        } else if (c == '\\') {
            if (!ReadControl(&r)) break;
        } else {
            r.Pos++;
            if (c == '\r' || c == '\n') continue; // source line breaks are not text
            r.GroupStart = 0;
            if (r.FallbackLeft > 0) {
                r.FallbackLeft--;
                continue;
            }
            EmitByte(&r, c);
        }
    }
    // Input that ends between the two halves of a pair may have been cut short there: the first
    // half is dropped rather than turned into U+FFFD, so the text stays a prefix of the whole
    // document's. (Closing the outer group has already turned a lone half into U+FFFD.)
    return 1;
}
