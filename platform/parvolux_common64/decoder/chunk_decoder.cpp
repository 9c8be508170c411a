#include "platform/parvolux_common64/decoder/chunk_decoder.h"

#include <algorithm>
#include <cstring>

#include "platform/parvolux_common64/common/byte_io.h"
#include "platform/parvolux_common64/entropy/bit_reader.h"
#include "platform/parvolux_common64/entropy/code_length_table.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {

template <class S>
bool ChunkDecoder::decodeHuffman(const uint8_t* in, size_t size, size_t n, unsigned bits, S* res) {
    const uint32_t alphabet = alphabetSize(bits);
    m_lengths.resize(alphabet);
    const size_t table = readCodeLengths(in, size, alphabet, kMaxCodeLength, m_lengths.data());
    if (table == 0 || !m_huffman.init(m_lengths.data(), alphabet)) return false;
    BitReader reader(in + table, size - table);
    const uint32_t zero8 = zeroBlock8Symbol(bits), zero64 = zeroBlock64Symbol(bits);
    for (size_t i = 0; i < n;) {
        unsigned length = 0;
        const uint32_t symbol = m_huffman.decode(reader.peek(), length);
        if (symbol == HuffmanDecoder::kInvalid) return false;
        reader.skip(length);
        if (reader.overrun()) return false;
        if (symbol < zero8) {
            res[i++] = static_cast<S>(symbol);
        } else {
            const size_t block = symbol == zero64 ? 64 : 8;
            if (i % block != 0 || n - i < block) return false;
            std::fill(res + i, res + i + block, S{0});
            i += block;
        }
    }
    // The encoder writes exactly the bytes its codes fill; anything else is a damaged chunk or
    // a chunk of another frame size.
    return (reader.position() + 7) / 8 == size - table;
}

template <class S>
bool ChunkDecoder::decode(const uint8_t* in, size_t size, size_t n, unsigned bits, S* res,
                          Predictor& predictor) {
    if (size < 1 || n == 0) return false;
    const unsigned mode = in[0] & 15, pred = in[0] >> 4;
    if (pred >= kPredictorCount) return false;
    predictor = static_cast<Predictor>(pred);
    const uint32_t mask = (1u << bits) - 1;
    switch (static_cast<ChunkMode>(mode)) {
        case ChunkMode::Constant: {
            if (size != kConstantChunkSize) return false;
            const uint32_t value = get16(in + 1);
            if (value > mask) return false;
            res[0] = static_cast<S>((value - (mask / 2 + 1)) & mask);
            std::fill(res + 1, res + n, S{0});
            return true;
        }
        case ChunkMode::Raw: {
            if (size - 1 != (uint64_t{n} * bits + 7) / 8) return false;
            if constexpr (sizeof(S) == 1) {
                std::memcpy(res, in + 1, n);
            } else {
                BitReader reader(in + 1, size - 1);
                for (size_t i = 0; i < n; ++i) {
                    res[i] = static_cast<S>(reader.peek() & mask);
                    reader.skip(bits);
                }
            }
            return true;
        }
        case ChunkMode::Huffman:
            return decodeHuffman(in + 1, size - 1, n, bits, res);
    }
    return false;
}

template bool ChunkDecoder::decode<uint8_t>(const uint8_t*, size_t, size_t, unsigned, uint8_t*,
                                            Predictor&);
template bool ChunkDecoder::decode<uint16_t>(const uint8_t*, size_t, size_t, unsigned, uint16_t*,
                                             Predictor&);

}  // namespace parvolux
