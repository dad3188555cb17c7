#include "tone/stop_text.h"

#include "runtime/base/numbers.h"
#include "runtime/base/text.h"
#include "tone/presets.h"

#include <algorithm>

namespace {

const String HexMarker = u"0x";
constexpr int HexDigits = 8;

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
        const size_t pieceEnd = nextMarker == String::npos ? text.size() : nextMarker;
        // Up to eight hexadecimal digits, reading stops at the first other unit.
        const String digits =
            text.substr(digitsFrom, std::min<size_t>(HexDigits, pieceEnd - digitsFrom));
        stops[k] = GradientStop(ParseInteger(u"$" + digits));
        at = nextMarker;
    }
    for (int k = 0; k < StopCount; k++) CurrentStops[k] = stops[k];
    return 1;
}
