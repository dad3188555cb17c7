#include "tone/colour_table.h"

int ToneShift = 0;

uint32_t ToneColourEntries[ColourTableEntries];

namespace {

// The colour bytes of a stop as a table entry: R, G, B with byte 3 cleared.
uint32_t EntryColour(GradientStop stop) {
    return stop & 0x00FFFFFFu;
}

struct Channels {
    double c[3];
};

Channels StopChannels(GradientStop stop) {
    return {{double(stop & 0xFF), double((stop >> 8) & 0xFF), double((stop >> 16) & 0xFF)}};
}

// The entries are defined by one particular rounding sequence: the x87 extended
// type (64-bit significand, round to nearest) for every operation, with the
// intermediate results stored as doubles at fixed points. Several entries lie on
// exact halves where plain double or exact arithmetic gives a different integer,
// so each rounding point below is an explicit cast and nothing may be fused or
// reordered (the build keeps contraction and fast-math off).
using Extended = long double;
static_assert(sizeof(Extended) >= 10, "the colour table needs the 64-bit-significand type");

int ChannelValue(double u, double prev, double t, double next) {
    const Extended lower = Extended(u) * Extended(prev);
    const Extended upper = Extended(t) * Extended(next);
    const Extended sum = lower + upper;
    const double value = double(sum + 0.5L);
    return int(value); // truncation toward zero; value is within 0..255.5
}

} // namespace

void BuildColourTable(const GradientStop *stops) {
    GradientStop stop[StopCount] = {};
    if (stops)
        for (int k = 0; k < StopCount; k++) stop[k] = stops[k];
    if (!StopIsSet(stop[0])) stop[0] = OpaqueBlack;
    if (!StopIsSet(stop[StopCount - 1])) stop[StopCount - 1] = OpaqueWhite;

    uint32_t *table = ToneColourTable;
    const uint32_t low = EntryColour(stop[0]);
    const uint32_t high = EntryColour(stop[StopCount - 1]);
    for (int e = -GuardEntries; e < 0; e++) table[e] = low;
    for (int e = LuminanceLevels; e < LuminanceLevels + GuardEntries; e++) table[e] = high;

    Channels prev = {};
    Channels next = StopChannels(stop[0]);
    int k = 0;
    int start = 0;
    double step = 0; // 1 / segment length, stored as a double
    for (int i = 0; i < LuminanceLevels; i++) {
        if (i % 256 == 0 && StopIsSet(stop[i / 256])) {
            // A set stop begins a segment that runs to the next set stop; unset
            // stops in between are skipped. Stop 8 is always set, so k stays <= 8.
            prev = next;
            start = i;
            const int a = k;
            do k++;
            while (!StopIsSet(stop[k]));
            const int length = 256 * (k - a);
            step = double(1.0L / Extended(length));
            next = StopChannels(stop[k]);
        }
        const double t = double(Extended(i - start) * Extended(step));
        const double u = double(1.0L - Extended(t));
        uint32_t entry = 0;
        for (int c = 0; c < 3; c++)
            entry |= uint32_t(ChannelValue(u, prev.c[c], t, next.c[c])) << (8 * c);
        table[i] = entry;
    }
}
