// A chunk's Huffman-coded residuals being decoded, and the ways of decoding several of them
// together to their ends. The loops themselves are in huffman_rounds.h, built once for any
// x86-64 processor and once, apart, for those with BMI1 and BMI2, whose shifts by any register
// and field extracts are what a probe is made of (noisy pictures decode 6 to 18 % faster).
#ifndef PARVOLUX_COMMON64_ENTROPY_HUFFMAN_STREAM_H
#define PARVOLUX_COMMON64_ENTROPY_HUFFMAN_STREAM_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/parvolux_common64/entropy/bit_reader.h"
#include "platform/parvolux_common64/entropy/huffman_decoder.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {

// Probes between refills: a refill leaves at least 56 bits, each probe takes at most 12.
inline constexpr unsigned kProbesPerRefill = 4;
static_assert(kProbesPerRefill * HuffmanDecoder::kTableBits <= 56);
// A probe stores four bytes of residuals or a run of zeros, so a round needs room for a run per
// probe. A zero block that fills writes kZeroStore zeros whatever its size, and takes a run of
// one; on residuals zeroed first a run is as long as the table's entries allow.
inline constexpr size_t kZeroStore = 64;
constexpr unsigned mostZeros(bool zeroed) {
    return zeroed ? HuffmanDecoder::kMostZeros : kZeroStore;
}

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

// Decodes `count` streams (1 to 4, longest first, whose tables lie one
// after another) to their ends, with entries of `laneBits`-bit residuals; false when one is
// corrupt. The first for any processor, the second only where usable(InstructionSet::Bmi).
template <class S>
bool decodeStreams(HuffmanStream<S>* s, unsigned count, unsigned laneBits);
template <class S>
bool decodeStreamsBmi(HuffmanStream<S>* s, unsigned count, unsigned laneBits);

}  // namespace parvolux

#endif
