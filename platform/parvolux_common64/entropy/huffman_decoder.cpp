#include "platform/parvolux_common64/entropy/huffman_decoder.h"

#include <algorithm>

#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {

void HuffmanDecoder::reserve(uint32_t alphabet) {
    m_sorted.reserve(alphabet);
    m_short.reserve(alphabet);
}

unsigned HuffmanDecoder::tableBitsFor(size_t bytes) {
    unsigned width = 0;
    while (width < 64 && (bytes >> width) != 0) ++width;
    return std::clamp(width, 13u, kTableBits + 4) - 4;
}

bool HuffmanDecoder::init(const uint8_t* lengths, uint32_t alphabet, uint32_t literals,
                          unsigned bits, unsigned tableBits, unsigned mostZeros, uint32_t* table) {
    m_table = table;
    m_tableBits = std::min(tableBits, kTableBits);
    m_mask = (1u << m_tableBits) - 1;
    std::fill(std::begin(m_count), std::end(m_count), 0u);
    m_maxLength = 0;
    uint64_t kraft = 0;
    for (uint32_t s = 0; s < alphabet; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        if (len > kMaxCodeLength) return false;
        ++m_count[len];
        m_maxLength = std::max(m_maxLength, len);
        kraft += uint64_t{1} << (kMaxCodeLength - len);
    }
    if (m_maxLength == 0 || kraft > (uint64_t{1} << kMaxCodeLength)) return false;

    uint32_t code = 0, offset = 0;
    for (unsigned len = 1; len <= m_maxLength; ++len) {
        code = (code + m_count[len - 1]) << 1;
        m_first[len] = code;
        m_offset[len] = offset;
        offset += m_count[len];
    }
    m_sorted.resize(offset);
    uint32_t fill[32];
    std::copy(std::begin(m_offset), std::end(m_offset), fill);
    for (uint32_t s = 0; s < alphabet; ++s)
        if (lengths[s] != 0) m_sorted[fill[lengths[s]]++] = s;
    const unsigned most = std::clamp(mostZeros, 64u, kMostZeros);
    switch (laneBits(bits)) {
        case 8:
            buildEntries<8>(literals, most);
            break;
        case 12:
            buildEntries<12>(literals, most);
            break;
        default:
            buildEntries<24>(literals, most);
    }
    return true;
}

namespace {

// Every index that starts with the `length` bits of `code` (least significant first).
inline void fillStrided(uint32_t* table, uint32_t mask, uint32_t code, unsigned length,
                        uint32_t entry) {
    for (uint32_t x = code; x <= mask; x += 1u << length) table[x] = entry;
}

}  // namespace

// Each entry takes the residuals that follow its first one as long as their codes end within
// the probe. The entries are written code by code rather than looked up index by index: those
// of one first code, then over them those of each code that can follow it, and so on, shortest
// codes first so that each loop stops at the first code too long. Each level writes every
// index at most once.
template <unsigned L>
void HuffmanDecoder::buildEntries(uint32_t literals, unsigned mostZeros) {
    using E = Entry<L>;
    uint32_t* table = m_table;
    std::fill(table, table + m_mask + 1, 0u);
    m_short.clear();
    for (unsigned len = 1; len <= std::min(m_maxLength, m_tableBits); ++len)
        for (uint32_t i = 0; i < m_count[len]; ++i)
            m_short.push_back({m_sorted[m_offset[len] + i],
                               reverse24(m_first[len] + i) >> (kMaxCodeLength - len), len});
    const auto fits = [&](const ShortCode& c, unsigned used) {
        return c.length + used <= m_tableBits;
    };
    for (const ShortCode& a : m_short) {
        if (a.symbol >= literals) {
            // Zero blocks that start the window, as many of the same size as fit (clean
            // pictures have long runs of them): no residuals, their zeros where those would go.
            // Each run's entries are a part of the shorter one's, so the longer goes over them.
            const uint32_t block = zeroBlockSize(a.symbol, literals);
            const uint32_t most = block == 8 ? 64 / block - 1 : mostZeros / block;
            uint32_t code = a.code;
            for (uint32_t n = 1; n <= most && n * a.length <= m_tableBits; ++n) {
                fillStrided(table, m_mask, code, n * a.length, E::make(n * block, 0, n * a.length));
                code |= a.code << n * a.length;
            }
            continue;
        }
        fillStrided(table, m_mask, a.code, a.length, E::make(a.symbol, 1, a.length));
        if constexpr (L <= 12) {
            for (size_t j = 0; j < m_short.size() && fits(m_short[j], a.length); ++j) {
                const ShortCode& b = m_short[j];
                if (b.symbol >= literals) continue;
                const unsigned two = a.length + b.length;
                const uint32_t code2 = a.code | b.code << a.length;
                const uint32_t symbols2 = a.symbol | b.symbol << L;
                fillStrided(table, m_mask, code2, two, E::make(symbols2, 2, two));
                if constexpr (L == 8) {
                    for (size_t k = 0; k < m_short.size() && fits(m_short[k], two); ++k) {
                        const ShortCode& c = m_short[k];
                        if (c.symbol >= literals) continue;
                        const unsigned three = two + c.length;
                        fillStrided(table, m_mask, code2 | c.code << two, three,
                                    E::make(symbols2 | c.symbol << 2 * L, 3, three));
                    }
                }
            }
        }
    }
}

}  // namespace parvolux
