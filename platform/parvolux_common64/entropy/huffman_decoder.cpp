#include "platform/parvolux_common64/entropy/huffman_decoder.h"

#include <algorithm>

#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {

void HuffmanDecoder::reserve(uint32_t alphabet) {
    m_sorted.reserve(alphabet);
}

unsigned HuffmanDecoder::tableBitsFor(size_t bytes) {
    unsigned width = 0;
    while (width < 64 && (bytes >> width) != 0) ++width;
    return std::clamp(width, 13u, kTableBits + 4) - 4;
}

bool HuffmanDecoder::init(const uint8_t* lengths, uint32_t alphabet, uint32_t literals,
                          unsigned bits, unsigned tableBits) {
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
    std::fill(m_single.begin(), m_single.begin() + m_mask + 1, 0u);
    uint32_t next[32];
    std::copy(std::begin(m_first), std::end(m_first), next);
    for (uint32_t s = 0; s < alphabet; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        m_sorted[fill[len]++] = s;
        const uint32_t rev = reverse24(next[len]++) >> (kMaxCodeLength - len);
        if (len <= m_tableBits)
            for (uint32_t k = rev; k <= m_mask; k += 1u << len) m_single[k] = (s << 5) | len;
    }
    unsigned shortest = 1;
    while (m_count[shortest] == 0) ++shortest;
    buildEntries(literals, laneBits(bits), m_tableBits / shortest);
    return true;
}

namespace {

// Each entry takes the residuals that follow its first one as long as their codes end within
// the probe. A fixed number of steps with conditional moves keeps the build free of branches
// the data would make unpredictable.
template <unsigned kMost>
void fillEntries(const uint32_t* single, uint32_t* table, uint32_t mask, unsigned tableBits,
                 uint32_t literals, unsigned laneBits) {
    for (uint32_t x = 0; x <= mask; ++x) {
        uint32_t symbols = 0;
        unsigned total = 0, count = 0;
        bool going = true;
        for (unsigned k = 0; k < kMost; ++k) {
            const uint32_t e = single[x >> total];
            const unsigned len = e & 31;
            const uint32_t symbol = e >> 5;
            going = going && e != 0 && len + total <= tableBits && symbol < literals;
            symbols |= (going ? symbol : 0u) << (laneBits * k);
            total += going ? len : 0u;
            count += going ? 1u : 0u;
        }
        // A zero block that starts the window: no residuals, its size where they would go.
        const uint32_t e = single[x];
        if (e != 0 && (e >> 5) >= literals) {
            symbols = (e >> 5) == literals ? 8 : 64;
            total = e & 31;
        }
        table[x] = symbols << 8 | count << 6 | total;
    }
}

}  // namespace

// No entry holds more codes than the shortest code fits into a probe, so a chunk of long codes
// is built with fewer steps per entry.
void HuffmanDecoder::buildEntries(uint32_t literals, unsigned laneBits, unsigned mostCodes) {
    const unsigned most = std::min(laneBits == 8 ? 3u : laneBits == 12 ? 2u : 1u, mostCodes);
    const auto fill = most >= 3 ? &fillEntries<3> : most == 2 ? &fillEntries<2> : &fillEntries<1>;
    fill(m_single.data(), m_table.data(), m_mask, m_tableBits, literals, laneBits);
}

uint32_t HuffmanDecoder::decodeOne(uint64_t bits, unsigned& length) const {
    const uint32_t e = m_single[bits & m_mask];
    if (e != 0) {
        length = e & 31;
        return e >> 5;
    }
    return decodeLong(bits, length);
}

}  // namespace parvolux
