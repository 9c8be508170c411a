// Length-limited canonical Huffman codes from symbol counts.
//
// Lengths come from the in-place minimum-redundancy algorithm of Moffat and Katajainen over the
// counts sorted once; when the longest code exceeds the limit, the counts are halved (a used
// symbol stays used) and the lengths rebuilt. A lone used symbol gets a 1-bit code. Codes are
// canonical (shorter first, then by symbol) and stored bit-reversed, ready for a
// least-significant-bit-first writer: entry = code << 8 | length.
#ifndef PARVOLUX_COMMON64_ENTROPY_HUFFMAN_CODE_H
#define PARVOLUX_COMMON64_ENTROPY_HUFFMAN_CODE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace parvolux {

class HuffmanBuilder {
public:
    // lengths[s] = 0 for a symbol whose count is 0. Answers the total coded size in bits.
    uint64_t buildLengths(const uint32_t* counts, uint32_t alphabet, unsigned maxLength,
                          uint8_t* lengths);

private:
    std::vector<uint64_t> m_weights;
    std::vector<uint32_t> m_symbols;
    std::vector<std::pair<uint32_t, uint32_t>> m_sorted;
};

// Reverses the low `count` bits of v.
uint32_t reverseBits(uint32_t v, unsigned count);

// Canonical codes for lengths no longer than 24 bits; entry 0 for unused symbols.
void buildCodes(const uint8_t* lengths, uint32_t alphabet, uint32_t* codes);

}  // namespace parvolux

#endif
