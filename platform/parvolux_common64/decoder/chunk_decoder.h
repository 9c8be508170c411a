// Decodes chunks back into residuals. Every field is checked against the chunk's byte size and
// the plane slice's sample count, so a corrupt or truncated chunk answers false and never reads
// or writes out of bounds.
#ifndef PARVOLUX_COMMON64_DECODER_CHUNK_DECODER_H
#define PARVOLUX_COMMON64_DECODER_CHUNK_DECODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/parvolux_common64/entropy/huffman_decoder.h"
#include "platform/parvolux_common64/format/predictor.h"

namespace parvolux {

// One chunk of `size` bytes that codes n residuals into res; decoding sets the predictor, and
// `flat` where the residuals have long runs of zeros (a constant chunk, or one whose zero blocks
// are common), which makes flat or vertically uniform areas likely. The
// `slack` bytes after the chunk may be read: the next chunks of a packet, which a good chunk's
// decoding only looks at (and a bad one's is refused whatever they hold), so that it need not
// slow down for the end of its input.
template <class S>
struct ChunkJob {
    const uint8_t* in;
    size_t size;
    size_t n;
    S* res;
    Predictor predictor;
    size_t slack = 0;
    bool flat = false;
};

class ChunkDecoder {
public:
    static constexpr unsigned kMostJobs = 4;

    // Sizes the tables for `bits`-bit residuals, so that decode() never allocates.
    void reserve(unsigned bits);

    // Decodes `count` (1 to kMostJobs) chunks. Huffman chunks go in lockstep: the table look-ups
    // of one stream wait on each other, those of several streams do not, so the processor
    // overlaps them. False when any chunk is corrupt.
    template <class S>
    [[nodiscard]] bool decode(ChunkJob<S>* jobs, unsigned count, unsigned bits);

private:
    template <class S>
    bool decodeHuffman(ChunkJob<S>* const* jobs, unsigned count, unsigned bits);

    std::vector<uint8_t> m_lengths;
    HuffmanDecoder m_huffman[kMostJobs];
    std::vector<uint32_t> m_tables =
        std::vector<uint32_t>(kMostJobs * HuffmanDecoder::kTableSize);  // one after another
};

}  // namespace parvolux

#endif
