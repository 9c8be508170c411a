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
// Each probe keeps at most three residuals and stores four bytes, so the fast loop needs room
// for four samples per probe.
constexpr size_t kFastRoom = 4 * kProbesPerRefill;

// Writes the entry's residuals to out, one per lane and a zero or two after them.
template <class S>
inline void storeSymbols(S* out, uint32_t symbols, unsigned laneBits) {
    if constexpr (sizeof(S) == 1) {
        std::memcpy(out, &symbols, sizeof symbols);
    } else {
        const uint32_t laneMask = (1u << laneBits) - 1;
        const uint32_t two = (symbols & laneMask) | (symbols >> laneBits) << 16;
        std::memcpy(out, &two, sizeof two);
    }
}

// The loops below take their streams by value and everything they call is inlined, so that the
// bit buffers stay in registers: a buffer that goes through memory between probes puts a
// store-to-load delay on the chain of look-ups, which is the decoder's critical path.
#if defined(__GNUC__)
#define PARVOLUX_INLINE [[gnu::always_inline]] inline
#else
#define PARVOLUX_INLINE inline
#endif

// The Huffman-coded residuals of one chunk, being decoded.
template <class S>
struct HuffmanStream {
    BitReader reader;
    const HuffmanDecoder* decoder = nullptr;
    const uint32_t* entries = nullptr;
    uint32_t mask = 0;
    S* res = nullptr;
    size_t i = 0;
    size_t n = 0;
    uint32_t literals = 0;
    unsigned laneBits = 8;
    size_t bytes = 0;

    bool fastReady() const { return n - i >= kFastRoom && reader.canRefillFast(); }

    // One symbol of any kind; the reader is refilled first, so a code of any length is in view.
    PARVOLUX_INLINE bool decodeSymbol() {
        reader.refill();
        unsigned length = 0;
        const uint32_t symbol = decoder->decodeOne(reader.bits(), length);
        if (symbol == HuffmanDecoder::kInvalid) return false;
        reader.consume(length);
        if (symbol < literals) {
            res[i++] = static_cast<S>(symbol);
            return true;
        }
        return zeroBlock(symbol == literals + 1 ? 64 : 8);  // the zero-block symbols
    }

    // Zero blocks stand at multiples of their size, within the chunk.
    PARVOLUX_INLINE bool zeroBlock(size_t block) {
        if ((i & (block - 1)) != 0 || n - i < block) return false;
        if (block == 8)
            std::fill(res + i, res + i + 8, S{0});
        else
            std::fill(res + i, res + i + 64, S{0});
        i += block;
        return true;
    }

    // A refill and the probes it feeds; only while fastReady().
    PARVOLUX_INLINE bool round() {
        reader.refillFast();
        for (unsigned k = 0; k < kProbesPerRefill; ++k) {
            const uint32_t e = entries[reader.bits() & mask];
            const unsigned count = HuffmanDecoder::count(e);
            if (count == 0) {
                const unsigned block = HuffmanDecoder::zeroBlock(e);
                if (block == 0) return decodeSymbol();
                reader.consume(HuffmanDecoder::length(e));
                if (!zeroBlock(block)) return false;
                // The round's bits are still in the buffer; only the room may have run short.
                if (n - i < kFastRoom) return true;
                continue;
            }
            storeSymbols(res + i, HuffmanDecoder::symbols(e), laneBits);
            reader.consume(HuffmanDecoder::length(e));
            i += count;
        }
        return true;
    }
};

// The encoder writes exactly the bytes its codes fill; anything else is a damaged chunk or a
// chunk of another frame size. Past the end the reader reads zeros, so a chunk that ran out
// ends here too.
template <class S>
PARVOLUX_INLINE bool finish(HuffmanStream<S> s) {
    while (s.fastReady())
        if (!s.round()) return false;
    while (s.i < s.n)
        if (!s.decodeSymbol()) return false;
    return (s.reader.position() + 7) / 8 == s.bytes;
}

// Streams in lockstep while each has room for a round. The caller orders them longest first, so
// the last usually runs out first and the others go on together.
template <class S, class... Rest>
PARVOLUX_INLINE bool finishTogether(HuffmanStream<S> first, Rest... rest) {
    while (first.fastReady() && (rest.fastReady() && ...))
        if (!first.round() || !(rest.round() && ...)) return false;
    return finish(first) && (finish(rest) && ...);
}

template <class S>
PARVOLUX_INLINE bool finishTogether(HuffmanStream<S> a, HuffmanStream<S> b, HuffmanStream<S> c) {
    while (a.fastReady() && b.fastReady() && c.fastReady())
        if (!a.round() || !b.round() || !c.round()) return false;
    return finish(c) && finishTogether(a, b);
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
    HuffmanStream<S> streams[kMostJobs] = {};
    for (unsigned k = 0; k < count; ++k) {
        const ChunkJob<S>& job = *jobs[k];
        HuffmanDecoder& decoder = m_huffman[k];
        const uint8_t* in = job.in + 1;
        const size_t size = job.size - 1;
        const size_t table = readCodeLengths(in, size, alphabet, kMaxCodeLength, m_lengths.data());
        if (table == 0 || !decoder.init(m_lengths.data(), alphabet, literals, bits,
                                        HuffmanDecoder::tableBitsFor(size - table)))
            return false;
        streams[k] = {BitReader(in + table, size - table),
                      &decoder,
                      decoder.entries(),
                      decoder.mask(),
                      job.res,
                      0,
                      job.n,
                      literals,
                      HuffmanDecoder::laneBits(bits),
                      size - table};
    }
    switch (count) {
        case 1:
            return finish(streams[0]);
        case 2:
            return finishTogether(streams[0], streams[1]);
        case 3:
            std::sort(streams, streams + 3,
                      [](const auto& x, const auto& y) { return x.bytes > y.bytes; });
            return finishTogether(streams[0], streams[1], streams[2]);
        default:
            return finishTogether(streams[0], streams[1], streams[2], streams[3]);
    }
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
                break;
            }
            case ChunkMode::Raw: {
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
