// Codes the residuals of one plane over one slice as the smallest of the chunk modes that fit:
// constant, Huffman or raw (see packet_format.h). Raw bounds every chunk, so the packet never
// exceeds the stream's buffer bound, whatever the content.
#ifndef PARVOLUX_COMMON64_ENCODER_CHUNK_ENCODER_H
#define PARVOLUX_COMMON64_ENCODER_CHUNK_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/parvolux_common64/entropy/huffman_code.h"
#include "platform/parvolux_common64/format/predictor.h"

namespace parvolux {

class ChunkEncoder {
public:
    // Sizes the tables for `bits`-bit residuals.
    void reserve(unsigned bits);

    // Writes the chunk for n >= 1 residuals to out, which has room for the chunk bound plus 8
    // bytes. Answers the chunk size.
    template <class S>
    size_t encode(const S* res, size_t n, unsigned bits, Predictor predictor, uint8_t* out);

private:
    template <class S>
    void count(const S* res, size_t n, unsigned bits);

    std::vector<uint32_t> m_sub;     // interleaved sub-histograms
    std::vector<uint32_t> m_counts;  // merged
    std::vector<uint8_t> m_lengths;
    std::vector<uint32_t> m_codes;
    HuffmanBuilder m_builder;
    unsigned m_subCount = 4;
};

}  // namespace parvolux

#endif
