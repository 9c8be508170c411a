#include "platform/parvolux_common64/decoder/slice_unpredictor.h"

#include <algorithm>
#include <cstddef>
#include <utility>

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
    static __m128i interleavePairsLo(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
    static __m128i interleavePairsHi(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi8(a, b); }
    static __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi8(a, b); }
    static __m128i min(__m128i a, __m128i b) { return _mm_min_epu8(a, b); }
    static __m128i max(__m128i a, __m128i b) { return _mm_max_epu8(a, b); }
    static __m128i toNextLane(__m128i v) { return _mm_slli_si128(v, 1); }
    static __m128i fromNextLane(__m128i v) { return _mm_srli_si128(v, 1); }
    static __m128i greater(__m128i a, __m128i b) { return _mm_cmpgt_epi8(a, b); }
    static __m128i splat(int v) { return _mm_set1_epi8(static_cast<char>(v)); }
    static __m128i laneIndex() {
        return _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    }
    static __m128i reverse(__m128i v) {
        v = _mm_shuffle_epi32(v, 0x1B);
        v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
        return _mm_or_si128(_mm_srli_epi16(v, 8), _mm_slli_epi16(v, 8));
    }
    // 8-bit samples wrap and order as bytes already.
    static __m128i toWorking(__m128i v, __m128i) { return v; }
    static __m128i toSamples(__m128i v, __m128i) { return v; }
    static __m128i residual(__m128i v, __m128i) { return v; }
};
// Samples hold at most 14 bits, so signed 16-bit min and max (all SSE2 has) order them right.
template <>
struct Lanes<uint16_t> {
    static constexpr unsigned kCount = 8;
    static __m128i interleaveLo(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
    static __m128i interleaveHi(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }
    static __m128i interleavePairsLo(__m128i a, __m128i b) { return _mm_unpacklo_epi32(a, b); }
    static __m128i interleavePairsHi(__m128i a, __m128i b) { return _mm_unpackhi_epi32(a, b); }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
    static __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
    static __m128i min(__m128i a, __m128i b) { return _mm_min_epi16(a, b); }
    static __m128i max(__m128i a, __m128i b) { return _mm_max_epi16(a, b); }
    static __m128i toNextLane(__m128i v) { return _mm_slli_si128(v, 2); }
    static __m128i fromNextLane(__m128i v) { return _mm_srli_si128(v, 2); }
    static __m128i greater(__m128i a, __m128i b) { return _mm_cmpgt_epi16(a, b); }
    static __m128i splat(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
    static __m128i laneIndex() { return _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7); }
    static __m128i reverse(__m128i v) {
        v = _mm_shuffle_epi32(v, 0x1B);
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
    }
    // Working values are samples moved to the top of the lane, so that sums wrap there as
    // they wrap at `bits` bits, and offset by half the range, so that signed order is the
    // samples' order: no masking on the chain of dependent steps.
    static __m128i toWorking(__m128i v, __m128i shift) {
        return _mm_xor_si128(_mm_sll_epi16(v, shift), _mm_set1_epi16(-0x8000));
    }
    static __m128i toSamples(__m128i v, __m128i shift) {
        return _mm_srl_epi16(_mm_xor_si128(v, _mm_set1_epi16(-0x8000)), shift);
    }
    static __m128i residual(__m128i v, __m128i shift) { return _mm_sll_epi16(v, shift); }
};

// A tile's rows in and out of step order, four steps at a time, so that the steps take their
// residuals and give their samples as the transposes make and take them: a whole tile of
// vectors at once would not fit the registers, and its spills cost more than the steps. Both
// ways go through quads: the samples of four vectors at one index (8-bit), or at two (16-bit).
template <class S>
class TileTranspose {
    using L = Lanes<S>;
    static constexpr unsigned n = L::kCount;

public:
    static constexpr unsigned kBlocks = n / 4;

    void in(S* const (&row)[n], uint32_t x0) {
        for (unsigned g = 0; g < n / 4; ++g) {
            const auto at = [&](unsigned j) {
                return _mm_loadu_si128(
                    reinterpret_cast<const __m128i*>(row[4 * g + j] + x0 - (4 * g + j)));
            };
            quads(at(0), at(1), at(2), at(3), m_in[g]);
        }
    }
    // The residuals of steps 4b to 4b+3, one row a lane.
    void residuals(unsigned b, __m128i (&r)[4]) const {
        if constexpr (n == 16) {
            vectors(m_in[0][b], m_in[1][b], m_in[2][b], m_in[3][b], r);
        } else {
            for (unsigned i = 0; i < 2; ++i) {
                r[2 * i] = _mm_unpacklo_epi64(m_in[0][2 * b + i], m_in[1][2 * b + i]);
                r[2 * i + 1] = _mm_unpackhi_epi64(m_in[0][2 * b + i], m_in[1][2 * b + i]);
            }
        }
    }
    // The samples of steps 4b to 4b+3.
    void samples(unsigned b, const __m128i (&o)[4]) { quads(o[0], o[1], o[2], o[3], m_out[b]); }
    void out(S* const (&row)[n], uint32_t x0) const {
        __m128i r[n];
        if constexpr (n == 16) {
            for (unsigned g = 0; g < 4; ++g) {
                __m128i four[4];
                vectors(m_out[0][g], m_out[1][g], m_out[2][g], m_out[3][g], four);
                std::copy_n(four, 4, r + 4 * g);
            }
        } else {
            for (unsigned m = 0; m < 4; ++m) {
                r[2 * m] = _mm_unpacklo_epi64(m_out[0][m], m_out[1][m]);
                r[2 * m + 1] = _mm_unpackhi_epi64(m_out[0][m], m_out[1][m]);
            }
        }
        for (unsigned j = 0; j < n; ++j)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row[j] + x0 - j), r[j]);
    }

private:
    // q[i] holds, for the i-th quarter of the indices, the samples of v0..v3 at each index.
    static void quads(__m128i v0, __m128i v1, __m128i v2, __m128i v3, __m128i (&q)[4]) {
        const __m128i lo01 = L::interleaveLo(v0, v1), hi01 = L::interleaveHi(v0, v1);
        const __m128i lo23 = L::interleaveLo(v2, v3), hi23 = L::interleaveHi(v2, v3);
        q[0] = L::interleavePairsLo(lo01, lo23);
        q[1] = L::interleavePairsHi(lo01, lo23);
        q[2] = L::interleavePairsLo(hi01, hi23);
        q[3] = L::interleavePairsHi(hi01, hi23);
    }
    // r[i] holds the i-th quad of q0, q1, q2 and q3, one after another (8-bit).
    static void vectors(__m128i q0, __m128i q1, __m128i q2, __m128i q3, __m128i (&r)[4]) {
        const __m128i lo01 = _mm_unpacklo_epi32(q0, q1), hi01 = _mm_unpackhi_epi32(q0, q1);
        const __m128i lo23 = _mm_unpacklo_epi32(q2, q3), hi23 = _mm_unpackhi_epi32(q2, q3);
        r[0] = _mm_unpacklo_epi64(lo01, lo23);
        r[1] = _mm_unpackhi_epi64(lo01, lo23);
        r[2] = _mm_unpacklo_epi64(hi01, hi23);
        r[3] = _mm_unpackhi_epi64(hi01, hi23);
    }

    __m128i m_in[n / 4][4];   // [rows 4g..4g+3][quarter of the steps]
    __m128i m_out[n / 4][4];  // [steps 4b..4b+3][quarter of the rows]
};

// Whether every lane's left and above-left samples are equal. Then zero residuals make each
// sample the one above it (the median of L, T and T is T), and so on down the tile: the rows of
// a vertically uniform area, flat ones included, are copies of the row above.
inline bool uniformDown(__m128i residuals, __m128i left, __m128i aboveLeft) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_movemask_epi8(_mm_cmpeq_epi8(residuals, zero)) == 0xFFFF &&
           _mm_movemask_epi8(_mm_cmpeq_epi8(left, aboveLeft)) == 0xFFFF;
}

// One group of rows, a tile of steps at a time. Lanes become active at their row's column 1 and
// idle after its last column; the tiles that hold such steps keep idle lanes' state and write
// back what they read. The loads and stores of a tile reach up to two tiles before and after a
// row, into its neighbours or the padding around `spare`, never into a lane's own columns of
// another step.
template <class S>
class MedianTiles {
public:
    using L = Lanes<S>;
    static constexpr unsigned n = L::kCount;

    MedianTiles(S* first, uint32_t width, unsigned bits, unsigned rows, S* spare)
        : m_up(first - width),
          m_w(width),
          m_shift(_mm_cvtsi32_si128(sizeof(S) == 1 ? 0 : 16 - static_cast<int>(bits))) {
        S state[2][n];
        for (unsigned j = 0; j < n; ++j) {
            m_row[j] = j < rows ? first + size_t{j} * m_w : spare;
            const S above = j == 0 ? m_up[0] : m_row[j - 1][0];
            m_row[j][0] = static_cast<S>((m_row[j][0] + above) & ((1u << bits) - 1));
            state[0][j] = m_row[j][0];
            state[1][j] = above;
        }
        m_left = L::toWorking(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state[0])), m_shift);
        m_aboveLeft =
            L::toWorking(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state[1])), m_shift);
    }

    uint32_t end() const { return m_w + n - 1; }  // one past the last step

    // Loads the tile of steps x0..x0+n-1; a flat one is done at once. Answers whether the tile
    // needs its steps. The transpose loads the rows again rather than have them kept: sixteen
    // vectors would not stay in the registers.
    bool load(uint32_t x0) {
        m_x0 = x0;
        __m128i any = _mm_setzero_si128();
        for (unsigned j = 0; j < n; ++j)
            any = _mm_or_si128(
                any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_row[j] + x0 - j)));
        m_above =
            L::toWorking(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m_up + x0)), m_shift);
        m_full = x0 >= n && x0 + n <= m_w;
        if (m_full && uniformDown(any, m_left, m_aboveLeft)) {
            copyDown(x0);
            return false;
        }
        m_tile.in(m_row, x0);
        return true;
    }

    // The tile of a vertically uniform area: each sample is the one above it, so row j holds,
    // before the row above the group's samples, the last samples of rows j - 1 down to 0 from
    // the tile before. Every lane's last sample, and the one above it, is then the row above
    // the group's, in reverse lane order.
    void copyDown(uint32_t x0) {
        const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_up + x0));
        copyRows(x0, up, L::reverse(L::toSamples(m_left, m_shift)), std::make_index_sequence<n>());
        m_left = m_aboveLeft = L::toWorking(L::reverse(up), m_shift);
    }
    template <size_t... J>
    void copyRows(uint32_t x0, __m128i up, __m128i lastBefore, std::index_sequence<J...>) {
        (_mm_storeu_si128(reinterpret_cast<__m128i*>(m_row[J] + x0 - J),
                          _mm_or_si128(_mm_slli_si128(up, J * sizeof(S)),
                                       _mm_srli_si128(lastBefore, 16 - J * sizeof(S)))),
         ...);
    }

    // The steps of block b of the tile (see TileTranspose).
    void stepBlock(unsigned b) {
        __m128i r[4], o[4];
        m_tile.residuals(b, r);
        for (unsigned k = 0; k < 4; ++k) o[k] = step(4 * b + k, r[k]);
        m_tile.samples(b, o);
    }
    // Both groups' steps interleaved: independent chains the processor overlaps.
    static void stepBlock(unsigned b, MedianTiles& one, MedianTiles& two) {
        __m128i r1[4], r2[4], o1[4], o2[4];
        one.m_tile.residuals(b, r1);
        two.m_tile.residuals(b, r2);
        for (unsigned k = 0; k < 4; ++k) {
            o1[k] = one.step(4 * b + k, r1[k]);
            o2[k] = two.step(4 * b + k, r2[k]);
        }
        one.m_tile.samples(b, o1);
        two.m_tile.samples(b, o2);
    }

    void store() { m_tile.out(m_row, m_x0); }

private:
    // Step k of the tile on its residuals as read; answers the samples to store.
    __m128i step(unsigned k, __m128i read) {
        const __m128i firstLane = _mm_cvtsi32_si128(sizeof(S) == 1 ? 0xFF : 0xFFFF);
        const __m128i t = _mm_or_si128(L::toNextLane(m_left), _mm_and_si128(m_above, firstLane));
        m_above = L::fromNextLane(m_above);
        const __m128i g = L::add(L::sub(m_left, m_aboveLeft), t);
        const __m128i predicted = L::max(L::min(m_left, t), L::min(L::max(m_left, t), g));
        const __m128i next = L::add(L::residual(read, m_shift), predicted);
        if (m_full) {
            m_left = next;
            m_aboveLeft = t;
            return L::toSamples(next, m_shift);
        }
        // Lane j works at step x on column x - j, which must lie in 1..w-1.
        const int x = static_cast<int>(m_x0 + k);
        const __m128i lo = L::splat(std::clamp(x - static_cast<int>(m_w), -1, int{n}));
        const __m128i hi = L::splat(std::clamp(x, 0, int{n}));
        const __m128i active =
            _mm_and_si128(L::greater(L::laneIndex(), lo), L::greater(hi, L::laneIndex()));
        const auto pick = [&](__m128i a, __m128i b) {
            return _mm_or_si128(_mm_and_si128(active, a), _mm_andnot_si128(active, b));
        };
        m_left = pick(next, m_left);
        m_aboveLeft = pick(t, m_aboveLeft);
        return pick(L::toSamples(next, m_shift), read);
    }

    const S* m_up;
    uint32_t m_w;
    __m128i m_shift;
    S* m_row[n];
    __m128i m_left, m_aboveLeft, m_above;
    TileTranspose<S> m_tile;
    uint32_t m_x0 = 0;
    bool m_full = false;
};

// One group of rows, or two: the second group's first row is the first's last, so it trails two
// tiles behind, where that row is final; the two groups' steps form independent chains that the
// processor overlaps. `rows` of the second may be 0.
template <class S>
void medianRowsVector(S* first, uint32_t w, unsigned bits, unsigned rows, unsigned secondRows,
                      S* spare) {
    constexpr unsigned n = Lanes<S>::kCount;
    constexpr uint32_t lag = 2 * n;
    constexpr unsigned kBlocks = TileTranspose<S>::kBlocks;
    MedianTiles<S> a(first, w, bits, rows, spare);
    if (secondRows == 0) {
        for (uint32_t x0 = 1; x0 < a.end(); x0 += n) {
            if (!a.load(x0)) continue;
            for (unsigned blk = 0; blk < kBlocks; ++blk) a.stepBlock(blk);
            a.store();
        }
        return;
    }
    MedianTiles<S> b(first + size_t{n} * w, w, bits, secondRows, spare);
    for (uint32_t x0 = 1; x0 < b.end() + lag; x0 += n) {
        const bool stepA = x0 < a.end() && a.load(x0);
        const bool stepB = x0 > lag && b.load(x0 - lag);
        if (stepA && stepB) {
            for (unsigned blk = 0; blk < kBlocks; ++blk) MedianTiles<S>::stepBlock(blk, a, b);
        } else if (stepA || stepB) {
            MedianTiles<S>& one = stepA ? a : b;
            for (unsigned blk = 0; blk < kBlocks; ++blk) one.stepBlock(blk);
        }
        if (stepA) a.store();
        if (stepB) b.store();
    }
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
        // A group short of rows still beats the scalar wavefront from two rows on. Narrow
        // planes stay scalar, so that a tile's reach stays outside other lanes' columns, and
        // groups go in pairs where the second's lag leaves the first's reach alone.
        constexpr unsigned kLanes = Lanes<S>::kCount;
        while (r + 2 <= rowCount && width > 2 * kLanes) {
            const unsigned group = std::min(kLanes, rowCount - r);
            const unsigned second = width > 6 * kLanes && rowCount - r >= kLanes + 2
                                        ? std::min(kLanes, rowCount - r - kLanes)
                                        : 0;
            medianRowsVector<S>(rows + size_t{r} * width, width, bits, group, second, spare);
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

template void unpredictSlice<uint8_t>(Predictor, uint8_t*, uint32_t, uint32_t, unsigned, uint8_t*);
template void unpredictSlice<uint16_t>(Predictor, uint16_t*, uint32_t, uint32_t, unsigned,
                                       uint16_t*);

}  // namespace parvolux
