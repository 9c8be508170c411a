#include "platform/parvolux_common64/entropy/huffman_decoder.h"

#include <algorithm>

#include "platform/parvolux_common64/entropy/huffman_code.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {

bool HuffmanDecoder::init(const uint8_t* lengths, uint32_t alphabet) {
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
    std::fill(m_fast.begin(), m_fast.end(), 0u);
    uint32_t next[32];
    std::copy(std::begin(m_first), std::end(m_first), next);
    for (uint32_t s = 0; s < alphabet; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        m_sorted[fill[len]++] = s;
        const uint32_t rev = reverseBits(next[len]++, len);
        if (len <= kFastBits)
            for (uint32_t k = rev; k < (1u << kFastBits); k += 1u << len)
                m_fast[k] = (s << 5) | len;
    }
    return true;
}

uint32_t HuffmanDecoder::decodeSlow(uint64_t bits, unsigned& length) const {
    uint32_t code = 0;
    for (unsigned len = 1; len <= m_maxLength; ++len) {
        code = (code << 1) | static_cast<uint32_t>((bits >> (len - 1)) & 1);
        const uint32_t index = code - m_first[len];
        if (code >= m_first[len] && index < m_count[len]) {
            length = len;
            return m_sorted[m_offset[len] + index];
        }
    }
    return kInvalid;
}

}  // namespace parvolux
