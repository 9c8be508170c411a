// The loops that decode Huffman streams in lockstep (see huffman_stream.h), written once for any
// instruction set: each translation unit that includes this names its own Target, so that a unit
// built for more instructions never lends its code to one that is not. Include it after the
// headers it needs, inside the unit's target region.
#ifndef PARVOLUX_COMMON64_ENTROPY_HUFFMAN_ROUNDS_H
#define PARVOLUX_COMMON64_ENTROPY_HUFFMAN_ROUNDS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/parvolux_common64/entropy/huffman_stream.h"

#if defined(__GNUC__)
#define PARVOLUX_INLINE [[gnu::always_inline]] inline
#else
#define PARVOLUX_INLINE inline
#endif

namespace parvolux::rounds {

// Input two refills may read: eight bytes each, the second at most seven past the first.
inline constexpr size_t kLongSlack = 15;

// What a fast loop keeps of a stream in registers. The loop copies these in and back out and
// calls nothing: a bit buffer that went through memory between probes would put a
// store-to-load delay on the chain of look-ups, the decoder's critical path, and three streams'
// worth of such state is about all the registers there are.
template <class Target, class S, unsigned L>
struct HotStream {
    BitWindow window;
    S* out;

    // One probe. A code longer than the probe is decoded here while the window holds the
    // longest code. Anything else the table cannot settle (a zero block out of place or with a
    // long code) leaves the stream where it is, so its later probes in the round stop on it too;
    // the caller decodes that symbol the slow way.
    PARVOLUX_INLINE bool probe(const HuffmanStream<S>& s, const uint32_t* entries) {
        using E = HuffmanDecoder::Entry<L>;
        const uint32_t e = entries[window.bits & s.mask];
        const unsigned count = E::count(e);
        if (count != 0) [[likely]] {
            // The entry's residuals, one per lane and a zero or two after them.
            const uint32_t stored = E::stored(e);
            std::memcpy(out, &stored, sizeof stored);
            window.consume(E::length(e));
            out += count;
            return true;
        }
        const unsigned run = E::zeroRun(e);
        if (run == 0) {
            // Refills of its own before and after keep the round's bit budget; near the end of
            // the input the slow way takes it.
            if (s.reader.bytesAfter(window) < kLongSlack) return false;
            if (window.count < kMaxCodeLength) window.refillFast();
            unsigned length = 0;
            const uint32_t symbol = s.decoder->decodeLong(window.bits, length);
            if (symbol >= s.literals) return false;
            *out++ = static_cast<S>(symbol);
            window.consume(length);
            window.refillFast();
            return true;
        }
        if ((static_cast<size_t>(out - s.res) & HuffmanDecoder::zeroRunAlignment(run)) != 0)
            return false;
        if (!s.zeroed) std::fill(out, out + kZeroStore, S{0});
        window.consume(E::length(e));
        out += run;
        return true;
    }
};

// Rounds of N streams in lockstep: the look-ups of one stream wait on each other, those of
// several do not, so the processor overlaps them. Stops when a stream has no room for a round or
// stalls on a symbol; answers the stalled streams as bits.
template <class Target, class S, unsigned L, unsigned N>
unsigned fastRounds(HuffmanStream<S>* s) {
    HotStream<Target, S, L> hot[N];
    for (unsigned n = 0; n < N; ++n) hot[n] = {s[n].reader.window(), s[n].out};
    // The streams' tables lie one after another, so that one register reaches them all.
    const uint32_t* tables = s[0].entries;
    unsigned stalled = 0;
    for (;;) {
        bool ready = true;
        for (unsigned n = 0; n < N; ++n)
            ready =
                ready && hot[n].out < s[n].fastEnd && s[n].reader.bytesAfter(hot[n].window) >= 8;
        if (!ready) break;
        for (unsigned n = 0; n < N; ++n) hot[n].window.refillFast();
#pragma GCC unroll 4
        for (unsigned k = 0; k < kProbesPerRefill; ++k)
#pragma GCC unroll 4
            for (unsigned n = 0; n < N; ++n)
                if (!hot[n].probe(s[n], tables + n * HuffmanDecoder::kTableSize))
                    stalled |= 1u << n;
        if (stalled != 0) break;
    }
    for (unsigned n = 0; n < N; ++n) {
        s[n].reader.window() = hot[n].window;
        s[n].out = hot[n].out;
    }
    return stalled;
}

// Streams in lockstep until one has no room for a round; false on a corrupt stream.
template <class Target, class S, unsigned L, unsigned N>
bool lockstep(HuffmanStream<S>* s) {
    for (;;) {
        const unsigned stalled = fastRounds<Target, S, L, N>(s);
        if (stalled == 0) return true;
        for (unsigned n = 0; n < N; ++n)
            if ((stalled >> n & 1) != 0 && !s[n].decodeSymbol()) return false;
    }
}

// The encoder writes exactly the bytes its codes fill; anything else is a damaged chunk or a
// chunk of another frame size. Past the end the reader reads zeros, so a chunk that ran out
// ends here too.
template <class Target, class S, unsigned L>
bool finish(HuffmanStream<S>& s) {
    if (!lockstep<Target, S, L, 1>(&s)) return false;
    // The last samples: still an entry at a time where it fits before the end, since the
    // rounds stop up to a thousand samples short of it.
    constexpr size_t kStore = 4 / sizeof(S);
    while (s.out < s.end) {
        s.reader.refill();
        const uint32_t e = s.entries[s.reader.bits() & s.mask];
        const unsigned count = HuffmanDecoder::Entry<L>::count(e);
        if (count != 0 && static_cast<size_t>(s.end - s.out) >= kStore) {
            const uint32_t stored = HuffmanDecoder::Entry<L>::stored(e);
            std::memcpy(s.out, &stored, sizeof stored);
            s.reader.consume(HuffmanDecoder::Entry<L>::length(e));
            s.out += count;
        } else if (!s.decodeSymbol()) {
            return false;
        }
    }
    return (s.reader.position() + 7) / 8 == s.bytes;
}

// The streams ordered longest first: the last usually runs out first and the others go on
// together.
template <class Target, class S, unsigned L, unsigned N>
bool finishTogether(HuffmanStream<S>* s) {
    if constexpr (N == 1)
        return finish<Target, S, L>(s[0]);
    else
        return lockstep<Target, S, L, N>(s) && finish<Target, S, L>(s[N - 1]) &&
               finishTogether<Target, S, L, N - 1>(s);
}

// finishTogether() for `count` streams, with residuals of L bits an entry.
template <class Target, class S, unsigned L>
bool finishAll(HuffmanStream<S>* s, unsigned count) {
    switch (count) {
        case 1:
            return finishTogether<Target, S, L, 1>(s);
        case 2:
            return finishTogether<Target, S, L, 2>(s);
        case 3:
            return finishTogether<Target, S, L, 3>(s);
        default:
            return finishTogether<Target, S, L, 4>(s);
    }
}

// The lanes' width is fixed in the loops: a variable shift there would compete with the bit
// window's for a shift register.
template <class Target, class S>
bool decodeAll(HuffmanStream<S>* s, unsigned count, unsigned laneBits) {
    if constexpr (sizeof(S) == 1)
        return finishAll<Target, S, 8>(s, count);
    else if (laneBits == 12)
        return finishAll<Target, S, 12>(s, count);
    else
        return finishAll<Target, S, 24>(s, count);
}

}  // namespace parvolux::rounds

#endif
