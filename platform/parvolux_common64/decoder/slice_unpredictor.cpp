#include "platform/parvolux_common64/decoder/slice_unpredictor.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>

#include "platform/parvolux_common64/common/instruction_sets.h"
#include "platform/parvolux_common64/decoder/median_tiles.h"
#include "platform/parvolux_common64/decoder/median_wide.h"
#endif

namespace parvolux {
namespace {

#if defined(__SSE2__)
// Sums of each lane with all lanes before it, in 8- or 16-bit lanes, plus `carry` in every lane;
// answers the last lane broadcast as the next carry.
inline __m128i prefixSum(__m128i v, __m128i carry, __m128i mask, uint8_t) {
    v = _mm_add_epi8(v, _mm_slli_si128(v, 1));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 4));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 8));
    return _mm_and_si128(_mm_add_epi8(v, carry), mask);
}
inline __m128i prefixSum(__m128i v, __m128i carry, __m128i mask, uint16_t) {
    v = _mm_add_epi16(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 4));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 8));
    return _mm_and_si128(_mm_add_epi16(v, carry), mask);
}
inline __m128i lastLane(__m128i v, uint8_t) {
    return _mm_shuffle_epi32(_mm_shufflehi_epi16(_mm_unpackhi_epi8(v, v), 0xFF), 0xFF);
}
inline __m128i lastLane(__m128i v, uint16_t) {
    return _mm_shuffle_epi32(_mm_shufflehi_epi16(v, 0xFF), 0xFF);
}
inline __m128i broadcast(uint32_t v, uint8_t) {
    return _mm_set1_epi8(static_cast<char>(v));
}
inline __m128i broadcast(uint32_t v, uint16_t) {
    return _mm_set1_epi16(static_cast<short>(v));
}
inline __m128i laneDelta(const void* above, uint8_t) {
    const auto* a = static_cast<const uint8_t*>(above);
    return _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(a - 1)));
}
inline __m128i laneDelta(const void* above, uint16_t) {
    const auto* a = static_cast<const uint16_t*>(above);
    return _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(a - 1)));
}
inline __m128i laneAdd(__m128i a, __m128i b, uint8_t) {
    return _mm_add_epi8(a, b);
}
inline __m128i laneAdd(__m128i a, __m128i b, uint16_t) {
    return _mm_add_epi16(a, b);
}
#endif

// row[i] += row[i - 1] (+ above[i] - above[i - 1] for gradient) for i >= 1; row[0] is final.
template <class S, bool kGradient>
void prefixRow(S* row, const S* above, uint32_t width, uint32_t mask) {
    uint32_t i = 1;
#if defined(__SSE2__)
    constexpr uint32_t kLanes = 16 / sizeof(S);
    const __m128i laneMask = broadcast(mask, S{});
    __m128i carry = broadcast(row[0], S{});
    for (; i + kLanes <= width; i += kLanes) {
        auto* p = reinterpret_cast<__m128i*>(row + i);
        __m128i v = _mm_loadu_si128(p);
        if constexpr (kGradient) v = laneAdd(v, laneDelta(above + i, S{}), S{});
        v = prefixSum(v, carry, laneMask, S{});
        _mm_storeu_si128(p, v);
        carry = lastLane(v, S{});
    }
#endif
    for (; i < width; ++i) {
        uint32_t d = row[i] + row[i - 1];
        if constexpr (kGradient) d += above[i] - above[i - 1];
        row[i] = static_cast<S>(d & mask);
    }
}

// Rows first..first+K-1 of median rows, the row above `first` final. Row j works on column
// x - j at step x, so that the row above has made the samples it needs (above and above-left)
// one step earlier; those come from `left` of the row above, kept in registers.
template <class S, unsigned K>
struct MedianWavefront {
    MedianWavefront(S* first, uint32_t width, uint32_t mask)
        : up(first - width), w(width), m(mask) {
        for (unsigned j = 0; j < K; ++j) {
            row[j] = first + size_t{j} * w;
            const uint32_t above = j == 0 ? up[0] : row[j - 1][0];
            left[j] = (row[j][0] + above) & m;
            row[j][0] = static_cast<S>(left[j]);
            aboveLeft[j] = above;
        }
    }

    // Rows jlo..jhi-1 advance; the row below goes first so that it still sees the row above's
    // sample of the previous step.
    void step(uint32_t x, unsigned jlo, unsigned jhi) {
        for (unsigned j = jhi; j-- > jlo;) {
            const uint32_t c = x - j;
            const uint32_t l = left[j], t = j == 0 ? up[c] : left[j - 1];
            const uint32_t g = (l + t - aboveLeft[j]) & m;
            const uint32_t lo = std::min(l, t), hi = std::max(l, t);
            const uint32_t predicted = std::max(lo, std::min(hi, g));
            left[j] = (row[j][c] + predicted) & m;
            row[j][c] = static_cast<S>(left[j]);
            aboveLeft[j] = t;
        }
    }
    // The steps from x up to (not including) `to`, each with the rows that have a column there.
    void steps(uint32_t x, uint32_t to) {
        for (; x < to; ++x) {
            if (x >= K && x < w)
                step(x, 0, K);
            else
                step(x, x >= w ? x - w + 1 : 0u, std::min(x, K));
        }
    }
    uint32_t end() const { return w + K - 1; }

    const S* up;
    uint32_t w, m;
    S* row[K];
    uint32_t left[K], aboveLeft[K];
};

template <class S, unsigned K>
void medianRows(S* first, uint32_t w, uint32_t mask) {
    MedianWavefront<S, K> wave(first, w, mask);
    wave.steps(1, wave.end());
}

#if defined(__SSE2__)
// The median wavefront's operations on 128-bit vectors: one group of rows.
struct Sse2 {
    using T = __m128i;
    static constexpr unsigned kGroups = 1;
    static T load(const void* p, const void*) { return _mm_loadu_si128(static_cast<const T*>(p)); }
    static void store(void* p, void*, T v) { _mm_storeu_si128(static_cast<T*>(p), v); }
    static T zero() { return _mm_setzero_si128(); }
    static T orV(T a, T b) { return _mm_or_si128(a, b); }
    static T andV(T a, T b) { return _mm_and_si128(a, b); }
    static T andNot(T a, T b) { return _mm_andnot_si128(a, b); }
    static T xorV(T a, T b) { return _mm_xor_si128(a, b); }
    static bool allZero(T v) { return allEqual(v, zero()); }
    static bool allEqual(T a, T b) { return _mm_movemask_epi8(_mm_cmpeq_epi8(a, b)) == 0xFFFF; }
    static T unpackLo8(T a, T b) { return _mm_unpacklo_epi8(a, b); }
    static T unpackHi8(T a, T b) { return _mm_unpackhi_epi8(a, b); }
    static T unpackLo16(T a, T b) { return _mm_unpacklo_epi16(a, b); }
    static T unpackHi16(T a, T b) { return _mm_unpackhi_epi16(a, b); }
    static T unpackLo32(T a, T b) { return _mm_unpacklo_epi32(a, b); }
    static T unpackHi32(T a, T b) { return _mm_unpackhi_epi32(a, b); }
    static T unpackLo64(T a, T b) { return _mm_unpacklo_epi64(a, b); }
    static T unpackHi64(T a, T b) { return _mm_unpackhi_epi64(a, b); }
    static T add8(T a, T b) { return _mm_add_epi8(a, b); }
    static T sub8(T a, T b) { return _mm_sub_epi8(a, b); }
    static T minU8(T a, T b) { return _mm_min_epu8(a, b); }
    static T maxU8(T a, T b) { return _mm_max_epu8(a, b); }
    static T greater8(T a, T b) { return _mm_cmpgt_epi8(a, b); }
    static T add16(T a, T b) { return _mm_add_epi16(a, b); }
    static T sub16(T a, T b) { return _mm_sub_epi16(a, b); }
    static T minI16(T a, T b) { return _mm_min_epi16(a, b); }
    static T maxI16(T a, T b) { return _mm_max_epi16(a, b); }
    static T greater16(T a, T b) { return _mm_cmpgt_epi16(a, b); }
    template <int N>
    static T shiftUpBytes(T v) {
        return _mm_slli_si128(v, N);
    }
    template <int N>
    static T shiftDownBytes(T v) {
        return _mm_srli_si128(v, N);
    }
    template <int I>
    static T shuffle32(T v) {
        return _mm_shuffle_epi32(v, I);
    }
    template <int I>
    static T shuffleHi16(T v) {
        return _mm_shufflehi_epi16(v, I);
    }
    template <int I>
    static T shuffleLo16(T v) {
        return _mm_shufflelo_epi16(v, I);
    }
    template <int N>
    static T shiftLeft16(T v) {
        return _mm_slli_epi16(v, N);
    }
    template <int N>
    static T shiftRight16(T v) {
        return _mm_srli_epi16(v, N);
    }
    static T shiftLeft16(T v, __m128i count) { return _mm_sll_epi16(v, count); }
    static T shiftRight16(T v, __m128i count) { return _mm_srl_epi16(v, count); }
    static T splat8(int v, int) { return _mm_set1_epi8(static_cast<char>(v)); }
    static T splat16(int v, int) { return _mm_set1_epi16(static_cast<short>(v)); }
    static T laneIndex8() {
        return _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    }
    static T laneIndex16() { return _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7); }
    static T firstLane(int mask) { return _mm_cvtsi32_si128(mask); }
};
#endif

}  // namespace

template <class S>
void unpredictSlice(Predictor predictor, S* rows, uint32_t width, uint32_t rowCount, unsigned bits,
                    S* spare, [[maybe_unused]] bool flatAreas) {
    const uint32_t mask = (1u << bits) - 1;
    rows[0] = static_cast<S>((rows[0] + mask / 2 + 1) & mask);
    prefixRow<S, false>(rows, nullptr, width, mask);
    uint32_t r = 1;
    if (predictor == Predictor::Median) {
#if defined(__SSE2__)
        // A group short of rows still beats the scalar wavefront from two rows on. Narrow
        // planes stay scalar, so that a tile's reach stays outside other lanes' columns, and
        // groups go in pairs where the second's lag leaves the first's reach alone. Four groups
        // go in 256-bit vectors where the processor has them, since the transposes, the larger
        // part of a tile's work, then take each instruction for two groups; but not where flat
        // areas are likely, since a tile of two groups takes the uniform shortcut only when
        // both are uniform.
        constexpr unsigned kLanes = median::Lanes<S, Sse2>::kCount;
        const bool wide =
            !flatAreas && usable(InstructionSet::Avx2) && width > (kWideMedianGroups + 4) * kLanes;
        while (r + 2 <= rowCount && width > 2 * kLanes) {
            if (wide && rowCount - r >= kWideMedianGroups * kLanes) {
                medianRowsWide<S>(rows + size_t{r} * width, width, bits);
                r += kWideMedianGroups * kLanes;
                continue;
            }
            const unsigned group = std::min(kLanes, rowCount - r);
            const unsigned second = width > 6 * kLanes && rowCount - r >= kLanes + 2
                                        ? std::min(kLanes, rowCount - r - kLanes)
                                        : 0;
            median::medianRows<S, Sse2>(rows + size_t{r} * width, width, bits,
                                        second != 0 ? second : group, second != 0, spare,
                                        flatAreas);
            r += group + second;
        }
#endif
        for (; r + 4 <= rowCount; r += 4) medianRows<S, 4>(rows + size_t{r} * width, width, mask);
        for (; r + 2 <= rowCount; r += 2) medianRows<S, 2>(rows + size_t{r} * width, width, mask);
        if (r < rowCount) medianRows<S, 1>(rows + size_t{r} * width, width, mask);
        return;
    }
    for (; r < rowCount; ++r) {
        S* row = rows + size_t{r} * width;
        const S* above = row - width;
        row[0] = static_cast<S>((row[0] + above[0]) & mask);
        if (predictor == Predictor::Gradient)
            prefixRow<S, true>(row, above, width, mask);
        else
            prefixRow<S, false>(row, above, width, mask);
    }
}

template void unpredictSlice<uint8_t>(Predictor, uint8_t*, uint32_t, uint32_t, unsigned, uint8_t*,
                                      bool);
template void unpredictSlice<uint16_t>(Predictor, uint16_t*, uint32_t, uint32_t, unsigned,
                                       uint16_t*, bool);

}  // namespace parvolux
