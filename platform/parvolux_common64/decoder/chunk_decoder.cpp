#include "platform/parvolux_common64/decoder/chunk_decoder.h"

#include <algorithm>
#include <cstring>

#include "platform/parvolux_common64/common/byte_io.h"
#include "platform/parvolux_common64/entropy/bit_reader.h"
#include "platform/parvolux_common64/entropy/code_length_table.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {
namespace {

// Probes between refills: a refill leaves at least 56 bits, each probe takes at most 12.
constexpr unsigned kProbesPerRefill = 4;
static_assert(kProbesPerRefill * HuffmanDecoder::kTableBits <= 56);
// A probe stores four bytes of residuals or a run of zeros, so a round needs room for a run per
// probe. A zero block that fills writes kZeroStore zeros whatever its size, and takes a run of
// one; on residuals zeroed first a run is as long as the table's entries allow.
constexpr size_t kZeroStore = 64;
constexpr unsigned mostZeros(bool zeroed) {
    return zeroed ? HuffmanDecoder::kMostZeros : kZeroStore;
}
// Input two refills may read: eight bytes each, the second at most seven past the first.
constexpr size_t kLongSlack = 15;

// Whether a chunk's residuals are zeroed before its decoding, so that zero blocks in the rounds
// only move on, and runs of them can be long: where its zero blocks' codes are kCommonZeroBlock
// bits or shorter, one symbol in 64 or more. Elsewhere zeroing would cost more than the rare
// blocks' fills.
constexpr unsigned kCommonZeroBlock = 6;
inline bool zeroFirst(const uint8_t* lengths, uint32_t literals) {
    const auto common = [](unsigned length) { return length != 0 && length <= kCommonZeroBlock; };
    return common(lengths[literals]) || common(lengths[literals + 1]);
}

// Writes the entry's residuals to out, one per lane and a zero or two after them.
template <unsigned L, class S>
inline void storeSymbols(S* out, uint32_t entry) {
    const uint32_t stored = HuffmanDecoder::Entry<L>::stored(entry);
    std::memcpy(out, &stored, sizeof stored);
}

#if defined(__GNUC__)
#define PARVOLUX_INLINE [[gnu::always_inline]] inline
#else
#define PARVOLUX_INLINE inline
#endif

// The Huffman-coded residuals of one chunk, being decoded.
template <class S>
struct HuffmanStream {
    BitReader reader;
    const uint32_t* entries = nullptr;
    uint32_t mask = 0;
    S* out = nullptr;
    S* fastEnd = nullptr;  // while out stays below, a round has room
    S* res = nullptr;
    S* end = nullptr;
    const HuffmanDecoder* decoder = nullptr;
    uint32_t literals = 0;
    size_t bytes = 0;
    bool zeroed = false;  // the residuals were zeroed first

    // One symbol of any kind; the reader is refilled first, so a code of any length is in view.
    bool decodeSymbol() {
        reader.refill();
        unsigned length = 0;
        const uint32_t symbol = decoder->decodeOne(reader.bits(), length);
        if (symbol == HuffmanDecoder::kInvalid) return false;
        reader.consume(length);
        if (symbol < literals) {
            *out++ = static_cast<S>(symbol);
            return true;
        }
        // Zero blocks stand at multiples of their size, within the chunk.
        const size_t block = zeroBlockSize(symbol, literals);
        if ((static_cast<size_t>(out - res) & (block - 1)) != 0 ||
            static_cast<size_t>(end - out) < block)
            return false;
        std::fill(out, out + block, S{0});
        out += block;
        return true;
    }
};

// What a fast loop keeps of a stream in registers. The loop copies these in and back out and
// calls nothing: a bit buffer that went through memory between probes would put a
// store-to-load delay on the chain of look-ups, the decoder's critical path, and three streams'
// worth of such state is about all the registers there are.
template <class S, unsigned L>
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
            storeSymbols<L>(out, e);
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
template <class S, unsigned L, unsigned N>
unsigned fastRounds(HuffmanStream<S>* s) {
    HotStream<S, L> hot[N];
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
template <class S, unsigned L, unsigned N>
bool lockstep(HuffmanStream<S>* s) {
    for (;;) {
        const unsigned stalled = fastRounds<S, L, N>(s);
        if (stalled == 0) return true;
        for (unsigned n = 0; n < N; ++n)
            if ((stalled >> n & 1) != 0 && !s[n].decodeSymbol()) return false;
    }
}

// The encoder writes exactly the bytes its codes fill; anything else is a damaged chunk or a
// chunk of another frame size. Past the end the reader reads zeros, so a chunk that ran out
// ends here too.
template <class S, unsigned L>
bool finish(HuffmanStream<S>& s) {
    if (!lockstep<S, L, 1>(&s)) return false;
    // The last samples: still an entry at a time where it fits before the end, since the
    // rounds stop up to a thousand samples short of it.
    constexpr size_t kStore = 4 / sizeof(S);
    while (s.out < s.end) {
        s.reader.refill();
        const uint32_t e = s.entries[s.reader.bits() & s.mask];
        const unsigned count = HuffmanDecoder::Entry<L>::count(e);
        if (count != 0 && static_cast<size_t>(s.end - s.out) >= kStore) {
            storeSymbols<L>(s.out, e);
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
template <class S, unsigned L, unsigned N>
bool finishTogether(HuffmanStream<S>* s) {
    if constexpr (N == 1)
        return finish<S, L>(s[0]);
    else
        return lockstep<S, L, N>(s) && finish<S, L>(s[N - 1]) && finishTogether<S, L, N - 1>(s);
}

// finishTogether() for `count` streams, with residuals of L bits an entry.
template <class S, unsigned L>
bool finishAll(HuffmanStream<S>* s, unsigned count) {
    switch (count) {
        case 1:
            return finishTogether<S, L, 1>(s);
        case 2:
            return finishTogether<S, L, 2>(s);
        case 3:
            return finishTogether<S, L, 3>(s);
        default:
            return finishTogether<S, L, 4>(s);
    }
}

}  // namespace

void ChunkDecoder::reserve(unsigned bits) {
    m_lengths.resize(alphabetSize(bits));
    for (HuffmanDecoder& h : m_huffman) h.reserve(alphabetSize(bits));
}

template <class S>
bool ChunkDecoder::decodeHuffman(ChunkJob<S>* const* jobs, unsigned count, unsigned bits) {
    const uint32_t alphabet = alphabetSize(bits), literals = zeroBlock8Symbol(bits);
    m_lengths.resize(alphabet);
    // Longest first, by hand: std::sort over a count the compiler cannot bound trips its
    // array-bounds warning.
    ChunkJob<S>* sorted[kMostJobs];
    std::copy_n(jobs, count, sorted);
    for (unsigned k = 1; k < count; ++k)
        for (unsigned j = k; j > 0 && sorted[j - 1]->size < sorted[j]->size; --j)
            std::swap(sorted[j - 1], sorted[j]);
    HuffmanStream<S> streams[kMostJobs] = {};
    for (unsigned k = 0; k < count; ++k) {
        const ChunkJob<S>& job = *sorted[k];
        HuffmanDecoder& decoder = m_huffman[k];
        const uint8_t* in = job.in + 1;
        const size_t size = job.size - 1;
        const size_t table = readCodeLengths(in, size, alphabet, kMaxCodeLength, m_lengths.data());
        if (table == 0) return false;
        HuffmanStream<S>& s = streams[k];
        s.zeroed = zeroFirst(m_lengths.data(), literals);
        sorted[k]->flat = s.zeroed;
        if (!decoder.init(m_lengths.data(), alphabet, literals, bits,
                          HuffmanDecoder::tableBitsFor(size - table), mostZeros(s.zeroed),
                          m_tables.data() + k * HuffmanDecoder::kTableSize))
            return false;
        if (s.zeroed) std::fill(job.res, job.res + job.n, S{0});
        s.reader = BitReader(in + table, size - table, job.slack);
        s.entries = decoder.entries();
        s.out = job.res;
        const size_t room = size_t{mostZeros(s.zeroed)} * kProbesPerRefill;
        s.fastEnd = job.n >= room ? job.res + (job.n - room) + 1 : job.res;
        s.mask = decoder.mask();
        s.decoder = &decoder;
        s.res = job.res;
        s.end = job.res + job.n;
        s.literals = literals;
        s.bytes = size - table;
    }
    // The lanes' width is fixed in the loops: a variable shift there would compete with the
    // bit window's for the one register x86 shifts by.
    if constexpr (sizeof(S) == 1)
        return finishAll<S, 8>(streams, count);
    else if (HuffmanDecoder::laneBits(bits) == 12)
        return finishAll<S, 12>(streams, count);
    else
        return finishAll<S, 24>(streams, count);
}

template <class S>
bool ChunkDecoder::decode(ChunkJob<S>* jobs, unsigned count, unsigned bits) {
    ChunkJob<S>* huffman[kMostJobs];
    unsigned huffmanCount = 0;
    const uint32_t mask = (1u << bits) - 1;
    for (unsigned k = 0; k < count; ++k) {
        ChunkJob<S>& job = jobs[k];
        const uint8_t* in = job.in;
        const size_t size = job.size, n = job.n;
        S* res = job.res;
        if (size < 1 || n == 0) return false;
        const unsigned mode = in[0] & 15, pred = in[0] >> 4;
        if (pred >= kPredictorCount) return false;
        job.predictor = static_cast<Predictor>(pred);
        switch (static_cast<ChunkMode>(mode)) {
            case ChunkMode::Constant: {
                if (size != kConstantChunkSize) return false;
                const uint32_t value = get16(in + 1);
                if (value > mask) return false;
                res[0] = static_cast<S>((value - (mask / 2 + 1)) & mask);
                std::fill(res + 1, res + n, S{0});
                job.flat = true;
                break;
            }
            case ChunkMode::Raw: {
                job.flat = false;
                if (size - 1 != (uint64_t{n} * bits + 7) / 8) return false;
                if constexpr (sizeof(S) == 1) {
                    std::memcpy(res, in + 1, n);
                } else {
                    BitReader reader(in + 1, size - 1);
                    const size_t perRefill = 56 / bits;
                    for (size_t i = 0; i < n;) {
                        reader.refill();
                        for (const size_t end = std::min(n, i + perRefill); i < end; ++i) {
                            res[i] = static_cast<S>(reader.bits() & mask);
                            reader.consume(bits);
                        }
                    }
                }
                break;
            }
            case ChunkMode::Huffman:
                huffman[huffmanCount++] = &job;
                break;
            default:
                return false;
        }
    }
    return huffmanCount == 0 || decodeHuffman(huffman, huffmanCount, bits);
}

template bool ChunkDecoder::decode<uint8_t>(ChunkJob<uint8_t>*, unsigned, unsigned);
template bool ChunkDecoder::decode<uint16_t>(ChunkJob<uint16_t>*, unsigned, unsigned);

}  // namespace parvolux
