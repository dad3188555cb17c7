#include "tone/stop_text.h"

#include "runtime/base/text.h"
#include "tone/presets.h"

namespace {

const String HexMarker = u"0x";
constexpr int HexDigits = 8;

// 0..15 for a hexadecimal digit of either case, -1 for anything else.
int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads up to eight digits of text[from, end), stopping at the first non-digit.
GradientStop ReadHex(const String &text, size_t from, size_t end) {
    GradientStop value = 0;
    for (size_t i = from; i < end && i < from + HexDigits; i++) {
        const int digit = DigitValue(text[i]);
        if (digit < 0) break;
        value = value << 4 | GradientStop(digit);
    }
    return value;
}

} // namespace

String CopyStopsAsText() {
    static const char16_t digits[] = u"0123456789abcdef";
    String text = u"!dd ";
    for (int k = 0; k < StopCount; k++) {
        if (k) text += u',';
        text += HexMarker;
        for (int shift = 28; shift >= 0; shift -= 4)
            text += digits[(CurrentStops[k] >> shift) & 15];
    }
    return text;
}

int PasteStopsFromText(const String &text, ConfirmPaste confirm) {
    if (CountOccurrences(text, HexMarker) != StopCount) return 0;
    if (confirm && !confirm()) return 0;
    // The text before the first "0x" is ignored; each later piece gives one stop.
    // A piece ends at the next "0x", so a short piece reads only its own digits.
    GradientStop stops[StopCount];
    size_t at = text.find(HexMarker);
    for (int k = 0; k < StopCount; k++) {
        const size_t digitsFrom = at + HexMarker.size();
        const size_t nextMarker = text.find(HexMarker, digitsFrom);
        stops[k] = ReadHex(text, digitsFrom, nextMarker == String::npos ? text.size() : nextMarker);
        at = nextMarker;
    }
    for (int k = 0; k < StopCount; k++) CurrentStops[k] = stops[k];
    return 1;
}
