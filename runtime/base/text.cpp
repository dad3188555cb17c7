#include "runtime/base/text.h"

#include "runtime/base/scratch_text.h"

#include <algorithm>
#include <cwctype>

namespace {

bool IsHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// The code point starting at s[i] and how many units it takes; unpaired
// surrogates come back as themselves with a width of 1.
char32_t CodePointAt(const String &s, size_t i, size_t *width) {
    char32_t u = s[i];
    if (IsHighSurrogate(u) && i + 1 < s.size() && IsLowSurrogate(s[i + 1])) {
        *width = 2;
        return 0x10000 + ((u - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
    }
    *width = 1;
    return u;
}

// A lone U+DC80..U+DCFF stands for the byte of a name that was not UTF-8.
bool IsCarriedByte(char32_t u) {
    return u >= 0xDC80 && u <= 0xDCFF;
}

// The UTF-8 of one code point as Utf8Of writes it.
size_t EncodeCodePointOrByte(char32_t c, unsigned char out[4]) {
    if (!IsCarriedByte(c)) return EncodeUtf8Char(c, out);
    out[0] = (unsigned char)(c - 0xDC00);
    return 1;
}

} // namespace

int64_t TextLength(const String &s) {
    return int64_t(s.size());
}

String TextLower(const String &s) {
    size_t mark = ScratchMark();
    for (size_t i = 0; i < s.size();) {
        size_t width;
        char32_t c = CodePointAt(s, i, &width);
        if (!(IsHighSurrogate(c) || IsLowSurrogate(c))) {
            wint_t lower = std::towlower(wint_t(c));
            // A mapping that leaves the code space is not a mapping.
            if (lower <= 0x10FFFF && !(lower >= 0xD800 && lower <= 0xDFFF)) c = char32_t(lower);
        }
        AppendScratchCodePoint(c);
        i += width;
    }
    return TakeScratchText(mark);
}

int64_t CountOccurrences(const String &s, const String &part) {
    if (s.empty() || part.empty()) return 0;
    int64_t count = 0;
    for (size_t at = s.find(part); at != String::npos; at = s.find(part, at + part.size())) ++count;
    return count;
}

String TextField(const String &s, int64_t index, const String &delimiter) {
    size_t mark = ScratchMark();
    if (index <= 0) return TakeScratchText(mark);
    if (delimiter.empty()) {
        if (index == 1) AppendScratch(s.data(), s.size());
        return TakeScratchText(mark);
    }
    size_t start = 0;
    for (int64_t field = 1; field < index; ++field) {
        size_t at = s.find(delimiter, start);
        if (at == String::npos) return TakeScratchText(mark);
        start = at + delimiter.size();
    }
    size_t end = s.find(delimiter, start);
    if (end == String::npos) end = s.size();
    AppendScratch(s.data() + start, end - start);
    return TakeScratchText(mark);
}

String PadLeft(const String &s, int64_t length, const String &pad) {
    size_t mark = ScratchMark();
    if (length <= 0) return TakeScratchText(mark);
    char16_t fill = pad.empty() ? u' ' : pad[0];
    int64_t kept = std::min(length, TextLength(s));
    for (int64_t i = kept; i < length; ++i) AppendScratch(fill);
    AppendScratch(s.data(), size_t(kept));
    return TakeScratchText(mark);
}

size_t EncodeUtf8Char(char32_t c, unsigned char out[4]) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
        out[0] = (unsigned char)c;
        return 1;
    }
    if (c < 0x800) {
        out[0] = (unsigned char)(0xC0 | (c >> 6));
        out[1] = (unsigned char)(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = (unsigned char)(0xE0 | (c >> 12));
        out[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
        out[2] = (unsigned char)(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = (unsigned char)(0xF0 | (c >> 18));
    out[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
    out[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
    out[3] = (unsigned char)(0x80 | (c & 0x3F));
    return 4;
}

size_t DecodeUtf8Char(const unsigned char *bytes, size_t available, char32_t *codePoint) {
    if (available == 0) return 0;
    unsigned char lead = bytes[0];
    *codePoint = 0xFFFD;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    // The lead byte fixes the length and the allowed range of the second byte,
    // which rules out overlong forms, surrogates and values past U+10FFFF.
    size_t length;
    unsigned char low = 0x80, high = 0xBF;
    char32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 1;
    }
    for (size_t k = 1; k < length; ++k) {
        // A zero byte is never a continuation byte, so a terminated string is
        // never read past its terminator.
        if (k >= available || bytes[k] < low || bytes[k] > high) return k;
        value = (value << 6) | (bytes[k] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *codePoint = value;
    return length;
}

void AppendScratchCodePoint(char32_t c) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
        char16_t pair[2] = {char16_t(0xD800 + ((c - 0x10000) >> 10)),
                            char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))};
        AppendScratch(pair, 2);
    } else {
        AppendScratch(char16_t(c > 0x10FFFF ? 0xFFFD : c));
    }
}

std::string Utf8Of(const String &s) {
    std::string utf8;
    utf8.reserve(s.size());
    unsigned char out[4];
    for (size_t i = 0; i < s.size();) {
        size_t width;
        size_t n = EncodeCodePointOrByte(CodePointAt(s, i, &width), out);
        utf8.append(reinterpret_cast<const char *>(out), n);
        i += width;
    }
    return utf8;
}

std::string PrintableUtf8(const String &s) {
    std::string utf8;
    utf8.reserve(s.size());
    unsigned char out[4];
    for (size_t i = 0; i < s.size();) {
        size_t width;
        char32_t c = CodePointAt(s, i, &width);
        i += width;
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            utf8 += '?';
            continue;
        }
        // EncodeUtf8Char shows every unpaired surrogate, a carried byte too, as U+FFFD.
        utf8.append(reinterpret_cast<const char *>(out), EncodeUtf8Char(c, out));
    }
    return utf8;
}

String StringFromUtf8(std::string_view utf8) {
    size_t mark = ScratchMark();
    const auto *bytes = reinterpret_cast<const unsigned char *>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
        char32_t c;
        size_t n = DecodeUtf8Char(bytes + i, utf8.size() - i, &c);
        // U+FFFD decoded from its own three bytes (EF BF BD) is a character like
        // any other; from anything else it marks bytes to carry one by one, all
        // of them 0x80 or above.
        if (c == 0xFFFD && !(n == 3 && bytes[i] == 0xEF)) {
            for (size_t k = 0; k < n; ++k) AppendScratch(char16_t(0xDC00 + bytes[i + k]));
        } else {
            AppendScratchCodePoint(c);
        }
        i += n;
    }
    return TakeScratchText(mark);
}
