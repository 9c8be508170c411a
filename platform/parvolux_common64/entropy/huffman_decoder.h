// Decodes canonical codes written by the encoder (least significant bit first). Codes up to
// kFastBits long resolve with one table look-up; longer ones walk the canonical code ranges bit
// by bit. A code the table does not hold (an incomplete code hit by corrupt data) is an error,
// never an out-of-range read.
#ifndef PARVOLUX_COMMON64_ENTROPY_HUFFMAN_DECODER_H
#define PARVOLUX_COMMON64_ENTROPY_HUFFMAN_DECODER_H

#include <cstdint>
#include <vector>

namespace parvolux {

class HuffmanDecoder {
public:
    static constexpr unsigned kFastBits = 11;
    static constexpr uint32_t kInvalid = 0xFFFFFFFFu;

    // False when the lengths over-subscribe the code space or no symbol is used.
    [[nodiscard]] bool init(const uint8_t* lengths, uint32_t alphabet);

    // Decodes one symbol from the low bits of `bits`; sets `length` to the bits it takes.
    // Answers kInvalid for a bit pattern that is no code.
    uint32_t decode(uint64_t bits, unsigned& length) const {
        const uint32_t e = m_fast[bits & ((1u << kFastBits) - 1)];
        if (e != 0) {
            length = e & 31;
            return e >> 5;
        }
        return decodeSlow(bits, length);
    }

private:
    uint32_t decodeSlow(uint64_t bits, unsigned& length) const;

    std::vector<uint32_t> m_fast = std::vector<uint32_t>(1u << kFastBits);
    std::vector<uint32_t> m_sorted;  // symbols by (length, symbol)
    uint32_t m_first[32] = {};       // first canonical code of each length
    uint32_t m_count[32] = {};
    uint32_t m_offset[32] = {};  // index in m_sorted of each length's first symbol
    unsigned m_maxLength = 0;
};

}  // namespace parvolux

#endif
