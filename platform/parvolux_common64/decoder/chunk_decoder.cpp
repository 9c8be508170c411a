#include "platform/parvolux_common64/decoder/chunk_decoder.h"

#include <algorithm>
#include <cstring>

#include "platform/parvolux_common64/common/byte_io.h"
#include "platform/parvolux_common64/common/instruction_sets.h"
#include "platform/parvolux_common64/entropy/code_length_table.h"
#include "platform/parvolux_common64/entropy/huffman_stream.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {
namespace {

// Whether a chunk's residuals are zeroed before its decoding, so that zero blocks in the rounds
// only move on, and runs of them can be long: where its zero blocks' codes are kCommonZeroBlock
// bits or shorter, one symbol in 64 or more. Elsewhere zeroing would cost more than the rare
// blocks' fills.
constexpr unsigned kCommonZeroBlock = 6;
inline bool zeroFirst(const uint8_t* lengths, uint32_t literals) {
    const auto common = [](unsigned length) { return length != 0 && length <= kCommonZeroBlock; };
    return common(lengths[literals]) || common(lengths[literals + 1]);
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
    const unsigned laneBits = HuffmanDecoder::laneBits(bits);
    return usable(InstructionSet::Bmi) ? decodeStreamsBmi(streams, count, laneBits)
                                       : decodeStreams(streams, count, laneBits);
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
