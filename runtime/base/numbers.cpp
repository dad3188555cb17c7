#include "runtime/base/numbers.h"

#include "runtime/base/scratch_text.h"

#include <chrono>
#include <cmath>
#include <pthread.h>

String FormatInteger(int64_t n) {
    char16_t digits[20];
    int count = 0;
    // Work on the magnitude as unsigned so that the smallest value negates safely.
    uint64_t magnitude = n < 0 ? 0 - uint64_t(n) : uint64_t(n);
    do {
        digits[count++] = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    size_t mark = ScratchMark();
    if (n < 0) AppendScratch(u'-');
    while (count) AppendScratch(digits[--count]);
    return TakeScratchText(mark);
}

int64_t ParseInteger(const String &s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    unsigned base = 10;
    if (i < s.size() && s[i] == u'%')
        base = 2, ++i;
    else if (i < s.size() && s[i] == u'$')
        base = 16, ++i;
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        char16_t c = s[i];
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = unsigned(c - u'0');
        else if (c >= u'a' && c <= u'f')
            digit = unsigned(c - u'a' + 10);
        else if (c >= u'A' && c <= u'F')
            digit = unsigned(c - u'A' + 10);
        else
            break;
        if (digit >= base) break;
        value = value * base + digit; // unsigned: wraps instead of overflowing
    }
    return int64_t(negative ? 0 - value : value);
}

double RoundReal(double x, int mode) {
    if (mode == 2) return x > 0 ? std::floor(x + 0.5) : std::ceil(x - 0.5);
    if (mode == 1) return std::ceil(x);
    return std::floor(x);
}

namespace {

// Two lanes of 17 words, each a lagged additive generator whose words are mixed
// with rotations; the lanes use different rotations and are xored for the output.
// Two indices walk the lanes backwards, 10 words apart.
struct RandomState {
    bool seeded = false;
    uint32_t laneA[17];
    uint32_t laneB[17];
    int p1 = 0;
    int p2 = 10;
};

thread_local RandomState Random;

uint32_t Rotate(uint32_t x, int r) {
    return (x << r) | (x >> (32 - r));
}

uint64_t SplitMix(uint64_t &state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t NextRandom32();

void SeedRandom() {
    // The clock differs between runs, the thread identity between threads started
    // in the same tick, and the state's own address between processes.
    uint64_t seed = uint64_t(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    seed ^= uint64_t(pthread_self()) * 0x9E3779B97F4A7C15ull;
    seed ^= uint64_t(reinterpret_cast<uintptr_t>(&Random)) << 17;
    for (int i = 0; i < 17; ++i) {
        uint64_t w = SplitMix(seed);
        Random.laneA[i] = uint32_t(w);
        Random.laneB[i] = uint32_t(w >> 32);
    }
    Random.p1 = 0;
    Random.p2 = 10;
    Random.seeded = true;
    for (int i = 0; i < 34; ++i) NextRandom32(); // spread the seed through both lanes
}

uint32_t NextRandom32() {
    RandomState &r = Random;
    uint32_t a = Rotate(r.laneA[r.p1], 13) + Rotate(r.laneA[r.p2], 9);
    uint32_t b = Rotate(r.laneB[r.p1], 5) + Rotate(r.laneB[r.p2], 19);
    r.laneA[r.p1] = a;
    r.laneB[r.p1] = b;
    r.p1 = r.p1 ? r.p1 - 1 : 16;
    r.p2 = r.p2 ? r.p2 - 1 : 16;
    return a ^ Rotate(b, 16);
}

} // namespace

int64_t RandomInt(int64_t max) {
    if (max <= 0) return 0;
    if (!Random.seeded) SeedRandom();
    if (max < 0xFFFFFFFFll) return int64_t((uint64_t(NextRandom32()) * uint64_t(max + 1)) >> 32);
    // Ranges of 2^32 values or more take 64 random bits, scaled the same way.
    uint64_t u = (uint64_t(NextRandom32()) << 32) | NextRandom32();
    return int64_t((static_cast<unsigned __int128>(u) * (uint64_t(max) + 1)) >> 64);
}
