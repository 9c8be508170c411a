// Decodes one chunk back into residuals. Every field is checked against the chunk's byte size
// and the plane slice's sample count, so a corrupt or truncated chunk answers false and never
// reads or writes out of bounds.
#ifndef PARVOLUX_COMMON64_DECODER_CHUNK_DECODER_H
#define PARVOLUX_COMMON64_DECODER_CHUNK_DECODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/parvolux_common64/entropy/huffman_decoder.h"
#include "platform/parvolux_common64/format/predictor.h"

namespace parvolux {

class ChunkDecoder {
public:
    // Fills res[0..n) and the predictor the chunk names.
    template <class S>
    [[nodiscard]] bool decode(const uint8_t* in, size_t size, size_t n, unsigned bits, S* res,
                              Predictor& predictor);

private:
    template <class S>
    bool decodeHuffman(const uint8_t* in, size_t size, size_t n, unsigned bits, S* res);

    std::vector<uint8_t> m_lengths;
    HuffmanDecoder m_huffman;
};

}  // namespace parvolux

#endif
