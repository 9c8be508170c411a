// The median rows' wavefront in vector lanes (see slice_unpredictor.h), written once for any
// vector width: V supplies the operations, on one group of rows (SSE2) or two side by side, a
// group in each 128-bit half (AVX2). Each translation unit that includes this names its own V, so
// that a unit built for wider vectors never lends its code to one that is not: include it after
// the standard and intrinsic headers it needs, inside the unit's target region.
//
// Row j of a group works on column x - j at step x, so that the row above has made the samples
// it needs (above and above-left) one step earlier. Step x's residuals lie on a diagonal; loading
// row j from column x0 - j and transposing a tile gives one vector per step, and the reverse puts
// the samples back. The two groups of a V of two trail each other by kGroupLag steps, so that the
// second's first row has the first's last row above it, final.
#ifndef PARVOLUX_COMMON64_DECODER_MEDIAN_TILES_H
#define PARVOLUX_COMMON64_DECODER_MEDIAN_TILES_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace parvolux::median {

// Lanes of S in vectors of V: sixteen 8-bit or eight 16-bit rows a group.
template <class S, class V>
struct Lanes;
template <class V>
struct Lanes<uint8_t, V> {
    using T = typename V::T;
    static constexpr unsigned kCount = 16;
    static T interleaveLo(T a, T b) { return V::unpackLo8(a, b); }
    static T interleaveHi(T a, T b) { return V::unpackHi8(a, b); }
    static T interleavePairsLo(T a, T b) { return V::unpackLo16(a, b); }
    static T interleavePairsHi(T a, T b) { return V::unpackHi16(a, b); }
    static T add(T a, T b) { return V::add8(a, b); }
    static T sub(T a, T b) { return V::sub8(a, b); }
    static T min(T a, T b) { return V::minU8(a, b); }
    static T max(T a, T b) { return V::maxU8(a, b); }
    static T toNextLane(T v) { return V::template shiftUpBytes<1>(v); }
    static T fromNextLane(T v) { return V::template shiftDownBytes<1>(v); }
    static T greater(T a, T b) { return V::greater8(a, b); }
    static T splat(int first, int second) { return V::splat8(first, second); }
    static T laneIndex() { return V::laneIndex8(); }
    static T firstLane() { return V::firstLane(0xFF); }
    static T reverse(T v) {
        v = V::template shuffle32<0x1B>(v);
        v = V::template shuffleHi16<0xB1>(V::template shuffleLo16<0xB1>(v));
        return V::orV(V::template shiftRight16<8>(v), V::template shiftLeft16<8>(v));
    }
    // 8-bit samples wrap and order as bytes already.
    static T toWorking(T v, __m128i) { return v; }
    static T toSamples(T v, __m128i) { return v; }
    static T residual(T v, __m128i) { return v; }
};
// Samples hold at most 14 bits, so signed 16-bit min and max (all SSE2 has) order them right.
template <class V>
struct Lanes<uint16_t, V> {
    using T = typename V::T;
    static constexpr unsigned kCount = 8;
    static T interleaveLo(T a, T b) { return V::unpackLo16(a, b); }
    static T interleaveHi(T a, T b) { return V::unpackHi16(a, b); }
    static T interleavePairsLo(T a, T b) { return V::unpackLo32(a, b); }
    static T interleavePairsHi(T a, T b) { return V::unpackHi32(a, b); }
    static T add(T a, T b) { return V::add16(a, b); }
    static T sub(T a, T b) { return V::sub16(a, b); }
    static T min(T a, T b) { return V::minI16(a, b); }
    static T max(T a, T b) { return V::maxI16(a, b); }
    static T toNextLane(T v) { return V::template shiftUpBytes<2>(v); }
    static T fromNextLane(T v) { return V::template shiftDownBytes<2>(v); }
    static T greater(T a, T b) { return V::greater16(a, b); }
    static T splat(int first, int second) { return V::splat16(first, second); }
    static T laneIndex() { return V::laneIndex16(); }
    static T firstLane() { return V::firstLane(0xFFFF); }
    static T reverse(T v) {
        v = V::template shuffle32<0x1B>(v);
        return V::template shuffleHi16<0xB1>(V::template shuffleLo16<0xB1>(v));
    }
    // Working values are samples moved to the top of the lane, so that sums wrap there as
    // they wrap at `bits` bits, and offset by half the range, so that signed order is the
    // samples' order: no masking on the chain of dependent steps.
    static T toWorking(T v, __m128i shift) {
        return V::xorV(V::shiftLeft16(v, shift), V::splat16(-0x8000, -0x8000));
    }
    static T toSamples(T v, __m128i shift) {
        return V::shiftRight16(V::xorV(v, V::splat16(-0x8000, -0x8000)), shift);
    }
    static T residual(T v, __m128i shift) { return V::shiftLeft16(v, shift); }
};

// Rows of the groups of a V: row j of group g, advanced kGroupLag * g columns, so that one
// column index reaches every group where it is.
template <class S, class V, unsigned n>
struct GroupRows {
    S* row[V::kGroups][n];
    const S* up[V::kGroups];  // the row above each group

    typename V::T load(unsigned j, uint32_t x) const {
        if constexpr (V::kGroups == 1)
            return V::load(row[0][j] + x - j, nullptr);
        else
            return V::load(row[0][j] + x - j, row[1][j] + x - j);
    }
    void store(unsigned j, uint32_t x, typename V::T v) const {
        if constexpr (V::kGroups == 1)
            V::store(row[0][j] + x - j, nullptr, v);
        else
            V::store(row[0][j] + x - j, row[1][j] + x - j, v);
    }
    typename V::T loadUp(uint32_t x) const {
        if constexpr (V::kGroups == 1)
            return V::load(up[0] + x, nullptr);
        else
            return V::load(up[0] + x, up[1] + x);
    }
};

// A tile's rows in and out of step order, four steps at a time, so that the steps take their
// residuals and give their samples as the transposes make and take them: a whole tile of
// vectors at once would not fit the registers, and its spills cost more than the steps. Both
// ways go through quads: the samples of four vectors at one index (8-bit), or at two (16-bit).
template <class S, class V>
class TileTranspose {
    using L = Lanes<S, V>;
    using T = typename V::T;
    static constexpr unsigned n = L::kCount;

public:
    static constexpr unsigned kBlocks = n / 4;

    void in(const GroupRows<S, V, n>& rows, uint32_t x0) {
        for (unsigned g = 0; g < n / 4; ++g)
            quads(rows.load(4 * g, x0), rows.load(4 * g + 1, x0), rows.load(4 * g + 2, x0),
                  rows.load(4 * g + 3, x0), m_in[g]);
    }
    // The residuals of steps 4b to 4b+3, one row a lane.
    void residuals(unsigned b, T (&r)[4]) const {
        if constexpr (n == 16) {
            vectors(m_in[0][b], m_in[1][b], m_in[2][b], m_in[3][b], r);
        } else {
            for (unsigned i = 0; i < 2; ++i) {
                r[2 * i] = V::unpackLo64(m_in[0][2 * b + i], m_in[1][2 * b + i]);
                r[2 * i + 1] = V::unpackHi64(m_in[0][2 * b + i], m_in[1][2 * b + i]);
            }
        }
    }
    // The samples of steps 4b to 4b+3.
    void samples(unsigned b, const T (&o)[4]) { quads(o[0], o[1], o[2], o[3], m_out[b]); }
    void out(const GroupRows<S, V, n>& rows, uint32_t x0) const {
        T r[n];
        if constexpr (n == 16) {
            for (unsigned g = 0; g < 4; ++g) {
                T four[4];
                vectors(m_out[0][g], m_out[1][g], m_out[2][g], m_out[3][g], four);
                for (unsigned i = 0; i < 4; ++i) r[4 * g + i] = four[i];
            }
        } else {
            for (unsigned m = 0; m < 4; ++m) {
                r[2 * m] = V::unpackLo64(m_out[0][m], m_out[1][m]);
                r[2 * m + 1] = V::unpackHi64(m_out[0][m], m_out[1][m]);
            }
        }
        for (unsigned j = 0; j < n; ++j) rows.store(j, x0, r[j]);
    }

private:
    // q[i] holds, for the i-th quarter of the indices, the samples of v0..v3 at each index.
    static void quads(T v0, T v1, T v2, T v3, T (&q)[4]) {
        const T lo01 = L::interleaveLo(v0, v1), hi01 = L::interleaveHi(v0, v1);
        const T lo23 = L::interleaveLo(v2, v3), hi23 = L::interleaveHi(v2, v3);
        q[0] = L::interleavePairsLo(lo01, lo23);
        q[1] = L::interleavePairsHi(lo01, lo23);
        q[2] = L::interleavePairsLo(hi01, hi23);
        q[3] = L::interleavePairsHi(hi01, hi23);
    }
    // r[i] holds the i-th quad of q0, q1, q2 and q3, one after another (8-bit).
    static void vectors(T q0, T q1, T q2, T q3, T (&r)[4]) {
        const T lo01 = V::unpackLo32(q0, q1), hi01 = V::unpackHi32(q0, q1);
        const T lo23 = V::unpackLo32(q2, q3), hi23 = V::unpackHi32(q2, q3);
        r[0] = V::unpackLo64(lo01, lo23);
        r[1] = V::unpackHi64(lo01, lo23);
        r[2] = V::unpackLo64(hi01, hi23);
        r[3] = V::unpackHi64(hi01, hi23);
    }

    T m_in[n / 4][4];   // [rows 4g..4g+3][quarter of the steps]
    T m_out[n / 4][4];  // [steps 4b..4b+3][quarter of the rows]
};

// The groups of rows of one V, a tile of steps at a time. Lanes become active at their row's
// column 1 and idle after its last column; the tiles that hold such steps keep idle lanes' state
// and write back what they read. The loads and stores of a tile reach up to two tiles before and
// after a row, into its neighbours or the padding around `spare`, never into a lane's own columns
// of another step; a second group's reach before its rows falls in the first group's last rows,
// whose ends the first group has not reached yet, and the first group's reach after its rows in
// the second's first rows, whose starts the second group is done with.
template <class S, class V>
class MedianTiles {
public:
    using L = Lanes<S, V>;
    using T = typename V::T;
    static constexpr unsigned n = L::kCount;
    static constexpr uint32_t kGroupLag = 2 * n;
    static constexpr uint32_t kLag = V::kGroups * kGroupLag;  // behind it, the next V's groups

    // The groups' rows from `first` on, one after another; rows (at most n) of the last group
    // are real, the others' lanes work on rows of `spare` of their own, one after another like
    // real rows, so that no two lanes share memory. `flatAreas`: uniform tiles are likely enough
    // to look for; the spare rows then start as zero residuals, so that their lanes go on with
    // the last real row and take the uniform shortcut with it.
    MedianTiles(S* first, uint32_t width, unsigned bits, unsigned rows, S* spare, bool flatAreas)
        : m_w(width),
          m_flatAreas(flatAreas),
          m_shift(_mm_cvtsi32_si128(sizeof(S) == 1 ? 0 : 16 - static_cast<int>(bits))) {
        S state[2][V::kGroups * n];
        for (unsigned g = 0; g < V::kGroups; ++g) {
            S* groupFirst = first + size_t{g} * n * m_w;
            const unsigned real = g + 1 == V::kGroups ? rows : n;
            if (flatAreas && real < n) std::fill(spare, spare + size_t{n - real} * m_w, S{0});
            const uint32_t lag = g * kGroupLag;
            const S* above = groupFirst - m_w;
            m_rows.up[g] = above - lag;
            for (unsigned j = 0; j < n; ++j) {
                S* row = j < real ? groupFirst + size_t{j} * m_w : spare + size_t{j - real} * m_w;
                row[0] = static_cast<S>((row[0] + above[0]) & ((1u << bits) - 1));
                state[0][g * n + j] = row[0];
                state[1][g * n + j] = above[0];
                m_rows.row[g][j] = row - lag;
                above = row;
            }
        }
        m_left = L::toWorking(V::load(state[0], state[0] + n), m_shift);
        m_aboveLeft = L::toWorking(V::load(state[1], state[1] + n), m_shift);
    }

    uint32_t end() const { return m_w + n - 1 + (V::kGroups - 1) * kGroupLag; }

    // Loads the tile of steps x0..x0+n-1; a vertically uniform one is done at once, where such
    // tiles are looked for. Answers whether the tile needs its steps.
    bool load(uint32_t x0) {
        m_x0 = x0;
        m_above = L::toWorking(m_rows.loadUp(x0), m_shift);
        m_full = x0 >= n + (V::kGroups - 1) * kGroupLag && x0 + n <= m_w;
        if (m_full && m_flatAreas && uniform(x0)) {
            copyDown(x0);
            return false;
        }
        m_tile.in(m_rows, x0);
        return true;
    }
    // The transpose loads the rows again rather than have them kept: sixteen vectors would not
    // stay in the registers.
    bool uniform(uint32_t x0) const {
        T any = V::zero();
        for (unsigned j = 0; j < n; ++j) any = V::orV(any, m_rows.load(j, x0));
        return V::allZero(any) && V::allEqual(m_left, m_aboveLeft);
    }

    // The tile of a vertically uniform area, where every lane's left and above-left samples are
    // equal and the residuals zero: the median of L, T and T is T, so each sample is the one
    // above it, and row j holds, before the row above the group's samples, the last samples of
    // rows j - 1 down to 0 from the tile before. Every lane's last sample, and the one above it,
    // is then the row above the group's, in reverse lane order.
    void copyDown(uint32_t x0) {
        const T up = m_rows.loadUp(x0);
        copyRows(x0, up, L::reverse(L::toSamples(m_left, m_shift)), std::make_index_sequence<n>());
        m_left = m_aboveLeft = L::toWorking(L::reverse(up), m_shift);
    }
    template <size_t... J>
    void copyRows(uint32_t x0, T up, T lastBefore, std::index_sequence<J...>) {
        (m_rows.store(J, x0,
                      V::orV(V::template shiftUpBytes<J * sizeof(S)>(up),
                             V::template shiftDownBytes<16 - J * sizeof(S)>(lastBefore))),
         ...);
    }

    // The steps of block b of the tile (see TileTranspose).
    void stepBlock(unsigned b) {
        T r[4], o[4];
        m_tile.residuals(b, r);
        for (unsigned k = 0; k < 4; ++k) o[k] = step(4 * b + k, r[k]);
        m_tile.samples(b, o);
    }
    // Two tiles' steps interleaved: independent chains the processor overlaps.
    static void stepBlock(unsigned b, MedianTiles& one, MedianTiles& two) {
        T r1[4], r2[4], o1[4], o2[4];
        one.m_tile.residuals(b, r1);
        two.m_tile.residuals(b, r2);
        for (unsigned k = 0; k < 4; ++k) {
            o1[k] = one.step(4 * b + k, r1[k]);
            o2[k] = two.step(4 * b + k, r2[k]);
        }
        one.m_tile.samples(b, o1);
        two.m_tile.samples(b, o2);
    }

    void store() { m_tile.out(m_rows, m_x0); }

private:
    // Step k of the tile on its residuals as read; answers the samples to store.
    T step(unsigned k, T read) {
        const T t = V::orV(L::toNextLane(m_left), V::andV(m_above, L::firstLane()));
        m_above = L::fromNextLane(m_above);
        const T g = L::add(L::sub(m_left, m_aboveLeft), t);
        const T predicted = L::max(L::min(m_left, t), L::min(L::max(m_left, t), g));
        const T next = L::add(L::residual(read, m_shift), predicted);
        if (m_full) {
            m_left = next;
            m_aboveLeft = t;
            return L::toSamples(next, m_shift);
        }
        // Lane j works at step x on column x - j, which must lie in 1..w-1; a second group is
        // kGroupLag steps behind.
        const int x = static_cast<int>(m_x0 + k), w = static_cast<int>(m_w);
        const int x2 = x - static_cast<int>(kGroupLag);
        const T lo = L::splat(std::clamp(x - w, -1, int{n}), std::clamp(x2 - w, -1, int{n}));
        const T hi = L::splat(std::clamp(x, 0, int{n}), std::clamp(x2, 0, int{n}));
        const T active = V::andV(L::greater(L::laneIndex(), lo), L::greater(hi, L::laneIndex()));
        const auto pick = [&](T a, T b) {
            return V::orV(V::andV(active, a), V::andNot(active, b));
        };
        m_left = pick(next, m_left);
        m_aboveLeft = pick(t, m_aboveLeft);
        return pick(L::toSamples(next, m_shift), read);
    }

    uint32_t m_w;
    bool m_flatAreas;
    __m128i m_shift;
    GroupRows<S, V, n> m_rows;
    T m_left, m_aboveLeft, m_above;
    TileTranspose<S, V> m_tile;
    uint32_t m_x0 = 0;
    bool m_full = false;
};

// Rows of one V's groups, or of two V's: the second's first row is the first's last, so it
// trails kLag steps behind, where that row is final; the two tiles' steps form independent
// chains that the processor overlaps. `rows` counts the real rows of the last group (of the
// second V when there is one, which may have none).
template <class S, class V>
void medianRows(S* first, uint32_t w, unsigned bits, unsigned rows, bool second, S* spare,
                bool flatAreas) {
    using Tiles = MedianTiles<S, V>;
    constexpr unsigned n = Tiles::n;
    constexpr uint32_t lag = Tiles::kLag;
    constexpr unsigned kBlocks = TileTranspose<S, V>::kBlocks;
    Tiles a(first, w, bits, second ? n : rows, spare, flatAreas);
    if (!second) {
        for (uint32_t x0 = 1; x0 < a.end(); x0 += n) {
            if (!a.load(x0)) continue;
            for (unsigned blk = 0; blk < kBlocks; ++blk) a.stepBlock(blk);
            a.store();
        }
        return;
    }
    Tiles b(first + size_t{V::kGroups} * n * w, w, bits, rows, spare, flatAreas);
    for (uint32_t x0 = 1; x0 < b.end() + lag; x0 += n) {
        const bool stepA = x0 < a.end() && a.load(x0);
        const bool stepB = x0 > lag && b.load(x0 - lag);
        if (stepA && stepB) {
            for (unsigned blk = 0; blk < kBlocks; ++blk) Tiles::stepBlock(blk, a, b);
        } else if (stepA || stepB) {
            Tiles& one = stepA ? a : b;
            for (unsigned blk = 0; blk < kBlocks; ++blk) one.stepBlock(blk);
        }
        if (stepA) a.store();
        if (stepB) b.store();
    }
}

}  // namespace parvolux::median

#endif
