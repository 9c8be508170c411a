#include "platform/parvolux_common64/decoder/slice_unpredictor.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
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
// Rows from `rows` on have nothing to do; they work on `spare` instead, which only they read.
template <class S, unsigned K>
struct MedianWavefront {
    MedianWavefront(S* first, uint32_t width, uint32_t mask, unsigned rows = K, S* spare = nullptr)
        : up(first - width), w(width), m(mask) {
        for (unsigned j = 0; j < K; ++j) {
            row[j] = j < rows ? first + size_t{j} * w : spare;
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
// The same wavefront with one row per vector lane: sixteen 8-bit or eight 16-bit rows. Step x's
// residuals lie on a diagonal; loading row j from column x0 - j and transposing a tile gives
// one vector per step, and the reverse puts the samples back.
template <class S>
struct Lanes;
template <>
struct Lanes<uint8_t> {
    static constexpr unsigned kCount = 16;
    static __m128i interleaveLo(__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); }
    static __m128i interleaveHi(__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi8(a, b); }
    static __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi8(a, b); }
    static __m128i min(__m128i a, __m128i b) { return _mm_min_epu8(a, b); }
    static __m128i max(__m128i a, __m128i b) { return _mm_max_epu8(a, b); }
    static __m128i toNextLane(__m128i v) { return _mm_slli_si128(v, 1); }
    static __m128i fromNextLane(__m128i v) { return _mm_srli_si128(v, 1); }
};
// Samples hold at most 14 bits, so signed 16-bit min and max (all SSE2 has) order them right.
template <>
struct Lanes<uint16_t> {
    static constexpr unsigned kCount = 8;
    static __m128i interleaveLo(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
    static __m128i interleaveHi(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
    static __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
    static __m128i min(__m128i a, __m128i b) { return _mm_min_epi16(a, b); }
    static __m128i max(__m128i a, __m128i b) { return _mm_max_epi16(a, b); }
    static __m128i toNextLane(__m128i v) { return _mm_slli_si128(v, 2); }
    static __m128i fromNextLane(__m128i v) { return _mm_srli_si128(v, 2); }
};

template <class S>
void transpose(__m128i (&v)[Lanes<S>::kCount]) {
    constexpr unsigned n = Lanes<S>::kCount;
    for (unsigned round = 0; (1u << round) < n; ++round) {
        __m128i t[n];
        for (unsigned i = 0; i < n / 2; ++i) {
            t[2 * i] = Lanes<S>::interleaveLo(v[i], v[i + n / 2]);
            t[2 * i + 1] = Lanes<S>::interleaveHi(v[i], v[i + n / 2]);
        }
        std::copy(t, t + n, v);
    }
}

template <class S>
void medianRowsVector(S* first, uint32_t w, uint32_t mask, unsigned rows, S* spare) {
    using L = Lanes<S>;
    constexpr unsigned n = L::kCount;
    MedianWavefront<S, n> wave(first, w, mask, rows, spare);
    wave.steps(1, n);
    S state[2][n];
    for (unsigned j = 0; j < n; ++j) {
        state[0][j] = static_cast<S>(wave.left[j]);
        state[1][j] = static_cast<S>(wave.aboveLeft[j]);
    }
    __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state[0]));
    __m128i aboveLeft = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state[1]));
    const __m128i laneMask = broadcast(mask, S{});
    const __m128i firstLane = _mm_cvtsi32_si128(static_cast<int>(mask));
    uint32_t x = n;
    for (; x + n <= w; x += n) {
        __m128i v[n];
        for (unsigned j = 0; j < n; ++j)
            v[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wave.row[j] + x - j));
        transpose<S>(v);
        __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wave.up + x));
        for (unsigned k = 0; k < n; ++k) {
            const __m128i t = _mm_or_si128(L::toNextLane(left), _mm_and_si128(up, firstLane));
            up = L::fromNextLane(up);
            const __m128i g = _mm_and_si128(L::add(left, L::sub(t, aboveLeft)), laneMask);
            const __m128i predicted = L::max(L::min(left, t), L::min(L::max(left, t), g));
            left = _mm_and_si128(L::add(v[k], predicted), laneMask);
            v[k] = left;
            aboveLeft = t;
        }
        transpose<S>(v);
        for (unsigned j = 0; j < n; ++j)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(wave.row[j] + x - j), v[j]);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state[0]), left);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state[1]), aboveLeft);
    for (unsigned j = 0; j < n; ++j) {
        wave.left[j] = state[0][j];
        wave.aboveLeft[j] = state[1][j];
    }
    wave.steps(x, wave.end());
}
#endif

}  // namespace

template <class S>
void unpredictSlice(Predictor predictor, S* rows, uint32_t width, uint32_t rowCount, unsigned bits,
                    S* spare) {
    const uint32_t mask = (1u << bits) - 1;
    rows[0] = static_cast<S>((rows[0] + mask / 2 + 1) & mask);
    prefixRow<S, false>(rows, nullptr, width, mask);
    uint32_t r = 1;
    if (predictor == Predictor::Median) {
#if defined(__SSE2__)
        // A group short of rows still beats the scalar wavefront from four rows on.
        constexpr unsigned kLanes = Lanes<S>::kCount;
        while (r + 4 <= rowCount) {
            const unsigned group = std::min(kLanes, rowCount - r);
            medianRowsVector<S>(rows + size_t{r} * width, width, mask, group, spare);
            r += group;
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

template void unpredictSlice<uint8_t>(Predictor, uint8_t*, uint32_t, uint32_t, unsigned, uint8_t*);
template void unpredictSlice<uint16_t>(Predictor, uint16_t*, uint32_t, uint32_t, unsigned,
                                       uint16_t*);

}  // namespace parvolux
