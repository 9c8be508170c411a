// Decodes canonical codes written by the encoder (least significant bit first) with one table
// look-up per probe of up to kTableBits bits. An entry holds every residual symbol whose code ends
// within those bits, up to three 8-bit, two 10- or 12-bit or one 14-bit one, and the bits they
// take, in 32 bits: the tables of the streams decoded together then stay in the first-level
// cache. Zero-block symbols at the start of the window have entries of their own, a run of
// blocks of one size each. The rest escape to decodeOne(): a zero-block symbol elsewhere, a code
// longer than kTableBits or a bit pattern that is no code at all (an incomplete code hit by
// corrupt data), which answers kInvalid, never an out-of-range read; it searches the canonical
// code ranges of each length, which are contiguous.
#ifndef PARVOLUX_COMMON64_ENTROPY_HUFFMAN_DECODER_H
#define PARVOLUX_COMMON64_ENTROPY_HUFFMAN_DECODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {

class HuffmanDecoder {
public:
    static constexpr unsigned kTableBits = 12;
    static constexpr uint32_t kInvalid = 0xFFFFFFFFu;
    // The most zeros an entry can hold, a run of blocks of 64. A run of blocks of 8 stays below
    // 64 zeros, so that a run's size tells its blocks'.
    static constexpr unsigned kMostZeros = 256;
    // Entries of a table of the widest probe.
    static constexpr size_t kTableSize = size_t{1} << kTableBits;

    // Sizes the tables for alphabets up to `alphabet` symbols, so that init() never allocates.
    void reserve(uint32_t alphabet);

    // The bits an entry gives each residual of `bits` bits: 8, 12 or 24.
    static unsigned laneBits(unsigned bits) { return bits <= 8 ? 8 : bits <= 12 ? 12 : 24; }

    // The probe width for codes of `bytes` bytes: a table costs as many steps to build as it
    // has entries, so a short stream is better served by a narrower one.
    static unsigned tableBitsFor(size_t bytes);

    // Symbols below `literals` are residuals of `bits` bits; the others escape. Probes take
    // tableBits (at most kTableBits) bits; an entry holds at most `mostZeros` zeros (64 to
    // kMostZeros). The entries go to `table`, kTableSize of them, which the caller keeps.
    // False when the lengths over-subscribe the code space or no symbol is used.
    [[nodiscard]] bool init(const uint8_t* lengths, uint32_t alphabet, uint32_t literals,
                            unsigned bits, unsigned tableBits, unsigned mostZeros, uint32_t* table);

    // The entries, indexed by the low bits of the stream that mask() keeps.
    const uint32_t* entries() const { return m_table; }
    uint32_t mask() const { return m_mask; }

    // An entry of residuals of L bits (see laneBits()). For 8 and 24: the bits taken in bits
    // 0-5, the residual count in 6-7, the residuals (or a zero run) from bit 8 on, the first
    // lowest. For 12, where a probe's output is two 16-bit samples: the first residual (or a
    // zero run) in bits 0-11, the bits taken in 12-15, the second residual in 16-27 and the
    // count in 28-29, so that one mask gives both samples where they are stored.
    template <unsigned L>
    struct Entry {
        static_assert(L == 8 || L == 12 || L == 24);
        static_assert(kTableBits <= 15 && kMostZeros <= 0xFFF, "the 12-bit layout's fields");
        static constexpr bool kSplit = L == 12;

        static uint32_t make(uint32_t symbols, unsigned count, unsigned length) {
            if constexpr (kSplit)
                return (symbols & 0xFFF) | length << 12 | (symbols >> 12) << 16 | count << 28;
            else
                return symbols << 8 | count << 6 | length;
        }
        // Residuals in the entry; 0 for zero blocks (see zeroRun()) and for what decodeOne()
        // must decode.
        static unsigned count(uint32_t entry) {
            if constexpr (kSplit)
                return entry >> 28;
            else
                return (entry >> 6) & 3;
        }
        // Bits the entry takes.
        static unsigned length(uint32_t entry) {
            if constexpr (kSplit)
                return (entry >> 12) & 15;
            else
                return entry & 63;
        }
        // With count 0: the zero residuals of the run of zero blocks that starts the window, 0
        // when decodeOne() must decode. Blocks of 8 make runs of fewer than 64 zeros, blocks of
        // 64 runs of multiples of 64.
        static unsigned zeroRun(uint32_t entry) {
            if constexpr (kSplit)
                return entry & 0xFFF;
            else
                return entry >> 8;
        }
        // The entry's residuals as the 32 bits stored at the output: four 8-bit samples or two
        // 16-bit ones, the residuals first and zeros after them.
        static uint32_t stored(uint32_t entry) {
            if constexpr (kSplit)
                return entry & 0x0FFF0FFF;
            else
                return entry >> 8;
        }
    };
    // The low bits of a position where a run can start, all zero: its blocks stand at
    // multiples of their size.
    static unsigned zeroRunAlignment(unsigned run) { return (run & 63) != 0 ? 7 : 63; }

    // Decodes any one symbol from the low bits of `bits` (at least kMaxCodeLength of them);
    // sets `length` to the bits it takes. Answers kInvalid for a bit pattern that is no code.
    // The table's slow way, for what it does not settle: rare, so it needs no table of its own.
    uint32_t decodeOne(uint64_t bits, unsigned& length) const {
        return decodeFrom(1, bits, length);
    }
    // decodeOne() for a code the table shows is longer than the probe.
    uint32_t decodeLong(uint64_t bits, unsigned& length) const {
        return decodeFrom(m_tableBits + 1, bits, length);
    }

private:
    // The canonical codes of each length form one contiguous range, longer lengths after
    // shorter ones, so the first range from `shortest` on that the code falls in names both its
    // length and its symbol.
    uint32_t decodeFrom(unsigned shortest, uint64_t bits, unsigned& length) const {
        const uint32_t code = reverse24(bits & ((1u << kMaxCodeLength) - 1));
        for (unsigned len = shortest; len <= m_maxLength; ++len) {
            const uint32_t index = (code >> (kMaxCodeLength - len)) - m_first[len];
            if (index < m_count[len]) {
                length = len;
                return m_sorted[m_offset[len] + index];
            }
        }
        return kInvalid;
    }

    static_assert(kMaxCodeLength == 24, "reverse24 reverses the longest code");
    // The low 24 bits of `bits`, in reverse order.
    static uint32_t reverse24(uint64_t bits) {
        auto v = static_cast<uint32_t>(bits);
        v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
        v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
        v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
        v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
        return ((v >> 16) | (v << 16)) >> 8;
    }

    template <unsigned L>
    void buildEntries(uint32_t literals, unsigned mostZeros);

    // A code of at most tableBits bits, reversed into the order the stream holds it.
    struct ShortCode {
        uint32_t symbol;
        uint32_t code;
        unsigned length;
    };

    uint32_t* m_table = nullptr;
    std::vector<uint32_t> m_sorted;  // symbols by (length, symbol)
    std::vector<ShortCode> m_short;  // by (length, symbol)
    uint32_t m_first[32] = {};       // first canonical code of each length
    uint32_t m_count[32] = {};
    uint32_t m_offset[32] = {};  // index in m_sorted of each length's first symbol
    unsigned m_maxLength = 0;
    unsigned m_tableBits = kTableBits;
    uint32_t m_mask = (1u << kTableBits) - 1;
};

}  // namespace parvolux

#endif
