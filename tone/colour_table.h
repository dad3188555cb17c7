// The colour table every toned pixel is read from, and the procedure that builds
// it from a nine-stop list.
//
// A colour stop is a 32-bit value whose bytes in memory are R, G, B, A; the stop is
// set when bit 31 is set (A >= 0x80), otherwise its colour bytes mean nothing.
// Stop k (0..8) stands at luminance 256 * k, so stop 8 sits at 2048, one past the
// last luminance value.
//
// ToneColourTable is indexed by luminance 0..2047 plus a tone offset of 8 * shift
// (shift -128..127), so the reachable indices are -1024..3063. Below 0 the table
// holds stop 0's colour and from 2048 on stop 8's colour: these guard bands let the
// kernels index without a bounds test. Entries hold R in byte 0, G in byte 1,
// B in byte 2 and 0 in byte 3.
//
// There is one table per process. BuildColourTable rewrites it in place and runs on
// the main thread only; the kernels read it from any thread without a lock (the
// program keeps the tone unchanged while a conversion runs).
#pragma once

#include <cstdint>

using GradientStop = uint32_t;

constexpr int StopCount = 9;
constexpr GradientStop StopSetBit = 0x80000000u;
constexpr GradientStop OpaqueBlack = 0xFF000000u;
constexpr GradientStop OpaqueWhite = 0xFFFFFFFFu;

inline bool StopIsSet(GradientStop stop) {
    return (stop & StopSetBit) != 0;
}

// Luminance values run 0..LuminanceLevels-1; each guard band is GuardEntries long.
constexpr int LuminanceLevels = 2048;
constexpr int GuardEntries = 1024;
constexpr int ColourTableEntries = GuardEntries + LuminanceLevels + GuardEntries; // 4096

// The storage, guard bands included; read it through ToneColourTable.
extern uint32_t ToneColourEntries[ColourTableEntries];

// The table's origin: valid indices are -1024..3071.
inline uint32_t *const ToneColourTable = ToneColourEntries + GuardEntries;

// The tone-shift slider's value, -116..116: a pixel of luminance L takes colour
// table entry L + 8 * ToneShift. Changed on the main thread only, and never while
// a conversion runs, so the worker reads it without a lock.
extern int ToneShift;

// Rewrites the whole table from nine stops; `stops` may be nullptr for nine unset
// stops. An unset stop 0 counts as opaque black and an unset stop 8 as opaque
// white; the caller's stops are never changed. Main thread only.
void BuildColourTable(const GradientStop *stops);
