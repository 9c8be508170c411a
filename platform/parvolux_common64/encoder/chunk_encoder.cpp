#include "platform/parvolux_common64/encoder/chunk_encoder.h"

#include <algorithm>
#include <cstring>

#include "platform/parvolux_common64/common/byte_io.h"
#include "platform/parvolux_common64/encoder/residual_blocks.h"
#include "platform/parvolux_common64/entropy/bit_writer.h"
#include "platform/parvolux_common64/entropy/code_length_table.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {
namespace {

// Counting into four tables in turn breaks the store-to-load chain a single table has on
// skewed data, where most samples hit the same counter.
template <class S>
struct SymbolCounter {
    uint32_t* h0;
    uint32_t* h1;
    uint32_t* h2;
    uint32_t* h3;
    uint32_t zeros8 = 0;
    uint32_t zeros64 = 0;

    void zero64() { ++zeros64; }
    void zero8() { ++zeros8; }
    void literal8(const S* p) {
        if constexpr (sizeof(S) == 1) {
            const uint64_t v = load64(p);
            ++h0[v & 255];
            ++h1[(v >> 8) & 255];
            ++h2[(v >> 16) & 255];
            ++h3[(v >> 24) & 255];
            ++h0[(v >> 32) & 255];
            ++h1[(v >> 40) & 255];
            ++h2[(v >> 48) & 255];
            ++h3[v >> 56];
        } else {
            ++h0[p[0]];
            ++h1[p[1]];
            ++h2[p[2]];
            ++h3[p[3]];
            ++h0[p[4]];
            ++h1[p[5]];
            ++h2[p[6]];
            ++h3[p[7]];
        }
    }
    void literal(S v) { ++h0[v]; }
};

// Codes go out kPerFlush at a time between flushes: after a flush at most 7 bits wait, so
// kPerFlush codes of the table's longest length must leave the count below 64 (a flush then
// shifts by less than 64).
template <class S, int kPerFlush>
struct SymbolEmitter {
    BitWriter writer;
    const uint32_t* codes;
    uint32_t zero8Code;
    uint32_t zero64Code;

    void put(uint32_t code) { writer.put(code >> 8, code & 255); }
    void zero64() {
        put(zero64Code);
        writer.flush();
    }
    void zero8() {
        put(zero8Code);
        writer.flush();
    }
    void literal8(const S* p) {
        for (int k = 0; k < 8; k += kPerFlush) {
            for (int j = k; j < k + kPerFlush && j < 8; ++j) put(codes[p[j]]);
            writer.flush();
        }
    }
    void literal(S v) {
        put(codes[v]);
        writer.flush();
    }
};

template <class S, int kPerFlush>
uint8_t* emitSymbols(const S* res, size_t n, unsigned bits, const uint32_t* codes, uint8_t* out) {
    SymbolEmitter<S, kPerFlush> emitter{BitWriter(out), codes, codes[zeroBlock8Symbol(bits)],
                                        codes[zeroBlock64Symbol(bits)]};
    walkResiduals(res, n, emitter);
    return emitter.writer.finish();
}

template <class S>
uint8_t* writeRaw(const S* res, size_t n, unsigned bits, uint8_t* out) {
    if constexpr (sizeof(S) == 1) {
        std::memcpy(out, res, n);
        return out + n;
    } else {
        BitWriter writer(out);
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            for (int k = 0; k < 4; ++k) writer.put(res[i + k], bits);
            writer.flush();
        }
        for (; i < n; ++i) {
            writer.put(res[i], bits);
            writer.flush();
        }
        return writer.finish();
    }
}

}  // namespace

void ChunkEncoder::reserve(unsigned bits) {
    const uint32_t alphabet = alphabetSize(bits);
    m_subCount = bits <= 10 ? 4 : 1;
    m_sub.resize(size_t{alphabet} * m_subCount);
    m_counts.resize(alphabet);
    m_lengths.resize(alphabet);
    m_codes.resize(alphabet);
}

template <class S>
void ChunkEncoder::count(const S* res, size_t n, unsigned bits) {
    const uint32_t alphabet = alphabetSize(bits);
    std::fill(m_sub.begin(), m_sub.end(), 0u);
    uint32_t* h = m_sub.data();
    const size_t stride = m_subCount == 4 ? alphabet : 0;
    SymbolCounter<S> counter{h, h + stride, h + 2 * stride, h + 3 * stride};
    walkResiduals(res, n, counter);
    for (uint32_t s = 0; s < alphabet; ++s) {
        uint32_t c = h[s];
        if (m_subCount == 4) c += h[s + stride] + h[s + 2 * stride] + h[s + 3 * stride];
        m_counts[s] = c;
    }
    m_counts[zeroBlock8Symbol(bits)] = counter.zeros8;
    m_counts[zeroBlock64Symbol(bits)] = counter.zeros64;
}

template <class S>
size_t ChunkEncoder::encode(const S* res, size_t n, unsigned bits, Predictor predictor,
                            uint8_t* out) {
    const uint32_t alphabet = alphabetSize(bits);
    const uint32_t mask = (1u << bits) - 1;
    const auto head = [&](ChunkMode mode) {
        return static_cast<uint8_t>(static_cast<unsigned>(mode) |
                                    (static_cast<unsigned>(predictor) << 4));
    };
    count(res, n, bits);

    const uint64_t zeros = m_counts[0] + 8 * uint64_t{m_counts[zeroBlock8Symbol(bits)]} +
                           64 * uint64_t{m_counts[zeroBlock64Symbol(bits)]};
    // Every residual after the first is zero exactly when every sample equals the first.
    if (zeros == n || (zeros + 1 == n && res[0] != 0)) {
        out[0] = head(ChunkMode::Constant);
        put16(out + 1, (res[0] + mask / 2 + 1) & mask);
        return kConstantChunkSize;
    }

    const uint64_t rawSize = 1 + (uint64_t{n} * bits + 7) / 8;
    const uint64_t codeBits =
        m_builder.buildLengths(m_counts.data(), alphabet, kMaxCodeLength, m_lengths.data());
    const size_t tableSize = codeLengthTableSize(m_lengths.data(), alphabet);
    const uint64_t huffmanSize = 1 + tableSize + (codeBits + 7) / 8;
    if (huffmanSize >= rawSize) {
        out[0] = head(ChunkMode::Raw);
        return static_cast<size_t>(writeRaw(res, n, bits, out + 1) - out);
    }

    out[0] = head(ChunkMode::Huffman);
    uint8_t* p = out + 1 + writeCodeLengths(m_lengths.data(), alphabet, out + 1);
    buildCodes(m_lengths.data(), alphabet, m_codes.data());
    const unsigned longest = *std::max_element(m_lengths.begin(), m_lengths.begin() + alphabet);
    uint8_t* end = longest <= 14   ? emitSymbols<S, 4>(res, n, bits, m_codes.data(), p)
                   : longest <= 18 ? emitSymbols<S, 3>(res, n, bits, m_codes.data(), p)
                                   : emitSymbols<S, 2>(res, n, bits, m_codes.data(), p);
    return static_cast<size_t>(end - out);
}

template size_t ChunkEncoder::encode<uint8_t>(const uint8_t*, size_t, unsigned, Predictor,
                                              uint8_t*);
template size_t ChunkEncoder::encode<uint16_t>(const uint16_t*, size_t, unsigned, Predictor,
                                               uint8_t*);

}  // namespace parvolux
