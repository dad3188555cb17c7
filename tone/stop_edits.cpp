#include "tone/stop_edits.h"

#include <cmath>
#include <cstdlib>

#include "runtime/base/numbers.h"
#include "tone/presets.h"

namespace {

GradientStop Opaque(uint32_t colour) {
    return (colour & 0x00FFFFFFu) | OpaqueBlack;
}

bool ValidStop(int k) {
    return k >= 0 && k < StopCount;
}

constexpr int RandomCandidates = 32;

} // namespace

void SetStopColour(uint32_t colour) {
    if (ValidStop(SelectedStop)) CurrentStops[SelectedStop] = Opaque(colour);
}

void ClearStop(int k) {
    if (!ValidStop(k)) return;
    CurrentStops[k] = 0;
    SelectedStop = k;
}

void SelectStop(int k) {
    if (ValidStop(k)) SelectedStop = k;
}

double StopBrightness(uint32_t colour) {
    const double r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    return 0.23 * r * r + 0.7 * g * g + 0.07 * b * b;
}

void PlaceColourByBrightness(uint32_t colour) {
    // Halves away from zero; sqrt(65025) / 32 is 7.97, so k never leaves 0..8.
    const int k = int(RoundReal(std::sqrt(StopBrightness(colour)) * 0.03125, 2));
    CurrentStops[k] = Opaque(colour);
}

void RandomStopColour() {
    if (!ValidStop(SelectedStop)) return;
    const int64_t target = int64_t(32 * SelectedStop) * (32 * SelectedStop);
    int64_t bestDistance = 65536;
    uint32_t chosen = 0;
    for (int n = 0; n < RandomCandidates; n++) {
        const uint32_t candidate = uint32_t(RandomInt(0xFFFFFF));
        // nearbyint rounds halves to even in the default rounding mode.
        const int64_t q = int64_t(std::nearbyint(StopBrightness(candidate)));
        const int64_t distance = std::llabs(q - target);
        if (distance < bestDistance) { // an equal later distance keeps the earlier colour
            bestDistance = distance;
            chosen = candidate;
        }
    }
    CurrentStops[SelectedStop] = Opaque(chosen);
}
