#include "runtime/image/resize.h"

#include "runtime/image/pixel_memory.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The weight lists of one axis: target position i takes `count[i]` source
// positions from `first[i]` on, weighted by weights[i * stride ...]. Built once
// per axis and reused for every row or column.
struct AxisWeights {
    int *first = nullptr;
    int *count = nullptr;
    double *weights = nullptr;
    int stride = 0;
};

void FreeAxis(AxisWeights &axis) {
    std::free(axis.first);
    std::free(axis.count);
    std::free(axis.weights);
    axis = AxisWeights{};
}

int BuildAxis(int sourceLength, int targetLength, AxisWeights &axis) {
    double scale = double(targetLength) / double(sourceLength);
    // Shrinking widens the kernel to the source spacing of the target pixels so
    // every source pixel contributes; enlarging keeps the plain two-pixel radius.
    double radius = 2.0, stretch = 1.0;
    if (scale < 1.0) {
        radius = 2.0 / scale;
        stretch = scale;
    }
    int stride = 2 * int(std::ceil(radius)) + 1;
    axis.stride = stride;
    axis.first = static_cast<int *>(std::malloc(sizeof(int) * size_t(targetLength)));
    axis.count = static_cast<int *>(std::malloc(sizeof(int) * size_t(targetLength)));
    axis.weights =
        static_cast<double *>(std::malloc(sizeof(double) * size_t(stride) * size_t(targetLength)));
    if (!axis.first || !axis.count || !axis.weights) {
        FreeAxis(axis);
        return 0;
    }
    for (int i = 0; i < targetLength; ++i) {
        double centre = (i + 0.5) / scale - 0.5;
        int64_t first = int64_t(std::floor(centre - radius));
        int64_t last = int64_t(std::ceil(centre + radius));
        if (first < 0) first = 0;
        if (last > sourceLength - 1) last = sourceLength - 1;
        if (last - first + 1 > stride) {
            if (first + 1 > sourceLength - 1)
                --last;
            else
                ++first;
        }
        int count = int(last - first + 1);
        double *w = axis.weights + size_t(i) * size_t(stride);
        double sum = 0.0;
        for (int k = 0; k < count; ++k) {
            w[k] = stretch * MitchellKernel(std::fabs(centre - double(first + k)) * stretch);
            sum += w[k];
        }
        if (sum > 0.0 && sum != 1.0)
            for (int k = 0; k < count; ++k) w[k] /= sum;
        axis.first[i] = int(first);
        axis.count[i] = count;
    }
    return 1;
}

#if defined(__SSE2__)
// Four bytes as four doubles, in two pairs.
inline void WidenFour(const unsigned char *bytes, __m128d *low, __m128d *high) {
    int32_t packed;
    std::memcpy(&packed, bytes, 4);
    __m128i zero = _mm_setzero_si128();
    __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(packed), zero);
    __m128i ints = _mm_unpacklo_epi16(words, zero);
    *low = _mm_cvtepi32_pd(ints);
    *high = _mm_cvtepi32_pd(_mm_shuffle_epi32(ints, _MM_SHUFFLE(1, 0, 3, 2)));
}
#endif

// sum[n] += weight * in[n] for n < length: each element alone, so two at a time
// (a multiply, then an add, as in the plain loop) gives the same doubles.
inline void AccumulateRow(double *sum, const unsigned char *in, double weight, size_t length) {
    size_t n = 0;
#if defined(__SSE2__)
    __m128d w = _mm_set1_pd(weight);
    for (; n + 4 <= length; n += 4) {
        __m128d low, high;
        WidenFour(in + n, &low, &high);
        _mm_storeu_pd(sum + n, _mm_add_pd(_mm_loadu_pd(sum + n), _mm_mul_pd(w, low)));
        _mm_storeu_pd(sum + n + 2, _mm_add_pd(_mm_loadu_pd(sum + n + 2), _mm_mul_pd(w, high)));
    }
#endif
    for (; n < length; ++n) sum[n] += weight * in[n];
}

inline unsigned char RoundChannel(double value) {
    int n = int(value + 0.5); // truncates towards zero, as the filter requires
    return static_cast<unsigned char>(n < 0 ? 0 : (n > 255 ? 255 : n));
}

// Below this many bytes of output a second thread costs more than it saves.
constexpr int64_t SplitBytes = int64_t(2) << 20;

// Runs `rows(first, end)` over [0, count): as two halves at once (the upper half
// on a helper thread) when the pass writes at least SplitBytes, else in one go.
// Every row is computed alone, so the bytes are the same either way.
template <typename Rows> int OverBothCores(int count, int64_t outputBytes, Rows rows) {
    if (count < 2 || outputBytes < SplitBytes) return rows(0, count);
    int half = count / 2, lower = 0;
    std::thread helper;
    try {
        helper = std::thread([&] { lower = rows(0, half); });
    } catch (const std::system_error &) {
        return rows(0, count); // no second thread: one pass here
    }
    int upper = rows(half, count);
    helper.join();
    return lower && upper;
}

// `rows` rows of width pixels from `source` on -> rows of newWidth pixels from
// `destination` on. Each source row is widened to doubles once (every source
// pixel feeds several targets), then every target pixel sums its taps with the
// four channels side by side, each in tap order.
int HorizontalRows(const AxisWeights &axis, const unsigned char *source, int width,
                   unsigned char *destination, int newWidth, int rows) {
    double *row = static_cast<double *>(std::malloc(sizeof(double) * 4 * size_t(width)));
    if (!row) return 0;
    const size_t sourcePitch = size_t(width) * 4, targetPitch = size_t(newWidth) * 4;
    for (int y = 0; y < rows; ++y) {
        const unsigned char *in = source + size_t(y) * sourcePitch;
        size_t n = 0;
#if defined(__SSE2__)
        for (; n + 4 <= sourcePitch; n += 4) {
            __m128d low, high;
            WidenFour(in + n, &low, &high);
            _mm_storeu_pd(row + n, low);
            _mm_storeu_pd(row + n + 2, high);
        }
#endif
        for (; n < sourcePitch; ++n) row[n] = in[n];
        unsigned char *out = destination + size_t(y) * targetPitch;
        for (int x = 0; x < newWidth; ++x) {
            const double *w = axis.weights + size_t(x) * size_t(axis.stride);
            const double *p = row + size_t(axis.first[x]) * 4;
            double r = 0.0, g = 0.0, b = 0.0, a = 0.0;
#if defined(__SSE2__)
            // The channels in two pairs; each still sums its taps in order.
            __m128d rg = _mm_setzero_pd(), ba = _mm_setzero_pd();
            for (int k = 0, count = axis.count[x]; k < count; ++k, p += 4) {
                __m128d weight = _mm_set1_pd(w[k]);
                rg = _mm_add_pd(rg, _mm_mul_pd(weight, _mm_loadu_pd(p)));
                ba = _mm_add_pd(ba, _mm_mul_pd(weight, _mm_loadu_pd(p + 2)));
            }
            double channels[4];
            _mm_storeu_pd(channels, rg);
            _mm_storeu_pd(channels + 2, ba);
            r = channels[0], g = channels[1], b = channels[2], a = channels[3];
#else
            for (int k = 0, count = axis.count[x]; k < count; ++k, p += 4) {
                r += w[k] * p[0];
                g += w[k] * p[1];
                b += w[k] * p[2];
                a += w[k] * p[3];
            }
#endif
            out[0] = RoundChannel(r);
            out[1] = RoundChannel(g);
            out[2] = RoundChannel(b);
            out[3] = RoundChannel(a);
            out += 4;
        }
    }
    std::free(row);
    return 1;
}

int HorizontalPass(const unsigned char *source, int width, int height, unsigned char *destination,
                   int newWidth) {
    AxisWeights axis;
    if (!BuildAxis(width, newWidth, axis)) return 0;
    int ok = OverBothCores(height, int64_t(newWidth) * height * 4, [&](int first, int end) {
        return HorizontalRows(axis, source + size_t(first) * size_t(width) * 4, width,
                              destination + size_t(first) * size_t(newWidth) * 4, newWidth,
                              end - first);
    });
    FreeAxis(axis);
    return ok;
}

// Target rows [first, end) of width x height -> width x newHeight, written from
// `destination` on (the place of row `first`), the source given from its row
// `base` on. For each target row whole source rows are accumulated with their
// weight into one row of doubles, so memory is walked row by row and every
// channel still sums in tap order.
int VerticalRows(const AxisWeights &axis, const unsigned char *source, int base, int width,
                 unsigned char *destination, int first, int end) {
    const size_t pitch = size_t(width) * 4;
    double *sum = static_cast<double *>(std::malloc(sizeof(double) * pitch));
    if (!sum) return 0;
    for (int y = first; y < end; ++y) {
        const double *w = axis.weights + size_t(y) * size_t(axis.stride);
        std::memset(sum, 0, sizeof(double) * pitch);
        for (int k = 0, count = axis.count[y]; k < count; ++k) {
            const unsigned char *in = source + size_t(axis.first[y] + k - base) * pitch;
            AccumulateRow(sum, in, w[k], pitch);
        }
        unsigned char *out = destination + size_t(y - first) * pitch;
        size_t n = 0;
#if defined(__SSE2__)
        // RoundChannel four at a time: add a half, truncate, clamp to 0..255 by
        // the saturating packs.
        const __m128d half = _mm_set1_pd(0.5);
        for (; n + 4 <= pitch; n += 4) {
            __m128i low = _mm_cvttpd_epi32(_mm_add_pd(_mm_loadu_pd(sum + n), half));
            __m128i high = _mm_cvttpd_epi32(_mm_add_pd(_mm_loadu_pd(sum + n + 2), half));
            __m128i ints = _mm_unpacklo_epi64(low, high);
            __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(ints, ints), ints);
            int32_t packed = _mm_cvtsi128_si32(bytes);
            std::memcpy(out + n, &packed, 4);
        }
#endif
        for (; n < pitch; ++n) out[n] = RoundChannel(sum[n]);
    }
    std::free(sum);
    return 1;
}

int VerticalPass(const unsigned char *source, int width, int height, unsigned char *destination,
                 int newHeight) {
    AxisWeights axis;
    if (!BuildAxis(height, newHeight, axis)) return 0;
    int ok = OverBothCores(newHeight, int64_t(width) * newHeight * 4, [&](int first, int end) {
        return VerticalRows(axis, source, 0, width, destination + size_t(first) * size_t(width) * 4,
                            first, end);
    });
    FreeAxis(axis);
    return ok;
}

} // namespace

struct SmoothRowsPlan {
    int width = 0, height = 0, newWidth = 0, newHeight = 0, rowsAtOnce = 0;
    bool verticalFirst = false;
    AxisWeights vertical, horizontal;
    // For each target row y: the first source row rows from y on need, and the
    // source rows rows before y + 1 need.
    int *lowestFrom = nullptr, *neededBy = nullptr;
    int span = 0; // the most source rows one call needs at once
    // Vertical first: the current target rows before their horizontal pass.
    // Horizontal first: the source rows [middleFirst, middleRows) made so far,
    // narrowed to newWidth; rows no later call needs are dropped.
    unsigned char *middle = nullptr;
    int middleFirst = 0, middleRows = 0;
};

SmoothRowsPlan *StartSmoothRows(int width, int height, int newWidth, int newHeight,
                                int rowsAtOnce) {
    SmoothRowsPlan *plan = new (std::nothrow) SmoothRowsPlan;
    if (!plan) return nullptr;
    plan->width = width, plan->height = height, plan->rowsAtOnce = rowsAtOnce;
    plan->newWidth = newWidth, plan->newHeight = newHeight;
    // The order SmoothResize picks, so the sums are the same.
    plan->verticalFirst = int64_t(newHeight) * width < int64_t(newWidth) * height;
    plan->lowestFrom = static_cast<int *>(std::malloc(sizeof(int) * size_t(newHeight)));
    plan->neededBy = static_cast<int *>(std::malloc(sizeof(int) * size_t(newHeight)));
    if (!plan->lowestFrom || !plan->neededBy || !BuildAxis(height, newHeight, plan->vertical) ||
        !BuildAxis(width, newWidth, plan->horizontal)) {
        EndSmoothRows(plan);
        return nullptr;
    }
    const AxisWeights &v = plan->vertical;
    for (int y = 0, needed = 0; y < newHeight; ++y)
        plan->neededBy[y] = needed = std::max(needed, v.first[y] + v.count[y]);
    for (int y = newHeight - 1, lowest = height; y >= 0; --y)
        plan->lowestFrom[y] = lowest = std::min(lowest, v.first[y]);
    for (int y = 0; y < newHeight; ++y) {
        int end = std::min(newHeight, y + rowsAtOnce);
        plan->span = std::max(plan->span, plan->neededBy[end - 1] - plan->lowestFrom[y]);
    }
    size_t between = plan->verticalFirst ? size_t(width) * size_t(rowsAtOnce) * 4
                                         : size_t(newWidth) * size_t(plan->span) * 4;
    if (!(plan->middle = TakePixelMemory(between, false))) {
        EndSmoothRows(plan);
        return nullptr;
    }
    return plan;
}

int SmoothSourceRowsNeeded(const SmoothRowsPlan *plan, int end) {
    return end > 0 ? plan->neededBy[end - 1] : 0;
}

int SmoothSourceRowsFirst(const SmoothRowsPlan *plan, int first) {
    return first < plan->newHeight ? plan->lowestFrom[first] : plan->height;
}

int SmoothSourceRowsSpan(const SmoothRowsPlan *plan) {
    return plan->span;
}

int MakeSmoothRowsFrom(SmoothRowsPlan *plan, const unsigned char *source, int sourceFirst,
                       int first, int end, unsigned char *destination) {
    const int w = plan->width, nw = plan->newWidth;
    if (plan->verticalFirst)
        return VerticalRows(plan->vertical, source, sourceFirst, w, plan->middle, first, end) &&
               HorizontalRows(plan->horizontal, plan->middle, w, destination, nw, end - first);
    const size_t pitch = size_t(nw) * 4;
    // Narrowed rows no later call needs make room at the front.
    int lowest = std::max(plan->middleFirst, SmoothSourceRowsFirst(plan, first));
    int made = std::max(plan->middleRows, lowest);
    if (lowest > plan->middleFirst) {
        if (made > lowest && plan->middleRows > lowest)
            std::memmove(plan->middle, plan->middle + size_t(lowest - plan->middleFirst) * pitch,
                         size_t(plan->middleRows - lowest) * pitch);
        plan->middleFirst = lowest;
        plan->middleRows = made;
    }
    int needed = SmoothSourceRowsNeeded(plan, end);
    if (needed > made) {
        if (!HorizontalRows(plan->horizontal, source + size_t(made - sourceFirst) * size_t(w) * 4,
                            w, plan->middle + size_t(made - plan->middleFirst) * pitch, nw,
                            needed - made))
            return 0;
        plan->middleRows = needed;
    }
    return VerticalRows(plan->vertical, plan->middle, plan->middleFirst, nw, destination, first,
                        end);
}

int MakeSmoothRows(SmoothRowsPlan *plan, const unsigned char *source, int first, int end,
                   unsigned char *destination) {
    return MakeSmoothRowsFrom(plan, source, 0, first, end, destination);
}

void EndSmoothRows(SmoothRowsPlan *plan) {
    if (!plan) return;
    FreeAxis(plan->vertical);
    FreeAxis(plan->horizontal);
    std::free(plan->lowestFrom);
    std::free(plan->neededBy);
    GivePixelMemory(plan->middle);
    delete plan;
}

double MitchellKernel(double t) {
    double d = std::fabs(t);
    if (d < 1.0) return (7.0 / 6.0) * d * d * d - 2.0 * d * d + 8.0 / 9.0;
    if (d < 2.0) return -(7.0 / 18.0) * d * d * d + 2.0 * d * d - (10.0 / 3.0) * d + 16.0 / 9.0;
    return 0.0;
}

int SmoothResize(const unsigned char *source, int width, int height, unsigned char *destination,
                 int newWidth, int newHeight) {
    // The order that gives the smaller intermediate image runs first.
    bool verticalFirst = int64_t(newHeight) * width < int64_t(newWidth) * height;
    size_t between = verticalFirst ? size_t(width) * size_t(newHeight) * 4
                                   : size_t(newWidth) * size_t(height) * 4;
    unsigned char *middle = TakePixelMemory(between, false);
    if (!middle) return 0;
    int ok;
    if (verticalFirst)
        ok = VerticalPass(source, width, height, middle, newHeight) &&
             HorizontalPass(middle, width, newHeight, destination, newWidth);
    else
        ok = HorizontalPass(source, width, height, middle, newWidth) &&
             VerticalPass(middle, newWidth, height, destination, newHeight);
    GivePixelMemory(middle);
    return ok;
}

int RawResize(const unsigned char *source, int width, int height, unsigned char *destination,
              int newWidth, int newHeight) {
    int64_t stepX = int64_t(65536.0 / (double(newWidth) / double(width)));
    int64_t stepY = int64_t(65536.0 / (double(newHeight) / double(height)));
    int *columns = static_cast<int *>(std::malloc(sizeof(int) * size_t(newWidth)));
    if (!columns) return 0;
    for (int x = 0; x < newWidth; ++x) {
        int64_t sx = (stepX / 2 + stepX * x) >> 16;
        columns[x] = int(sx < width ? sx : width - 1);
    }
    const size_t sourcePitch = size_t(width) * 4, targetPitch = size_t(newWidth) * 4;
    for (int y = 0; y < newHeight; ++y) {
        int64_t sy = (stepY / 2 + stepY * y) >> 16;
        if (sy > height - 1) sy = height - 1;
        const unsigned char *in = source + size_t(sy) * sourcePitch;
        unsigned char *out = destination + size_t(y) * targetPitch;
        for (int x = 0; x < newWidth; ++x)
            std::memcpy(out + size_t(x) * 4, in + size_t(columns[x]) * 4, 4);
    }
    std::free(columns);
    return 1;
}
