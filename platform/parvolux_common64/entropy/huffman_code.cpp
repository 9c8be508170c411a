#include "platform/parvolux_common64/entropy/huffman_code.h"

#include <algorithm>

namespace parvolux {
namespace {

// Moffat & Katajainen: a[] holds weights in non-decreasing order and receives code lengths.
void minimumRedundancy(uint64_t* a, size_t n) {
    if (n == 1) {
        a[0] = 1;
        return;
    }
    a[0] += a[1];
    size_t root = 0, leaf = 2;
    for (size_t next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = next;
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = next;
        } else {
            a[next] += a[leaf++];
        }
    }
    a[n - 2] = 0;
    for (size_t next = n - 2; next-- > 0;) a[next] = a[a[next]] + 1;
    size_t avail = 1, used = 0, depth = 0;
    ptrdiff_t r = static_cast<ptrdiff_t>(n) - 2, next = static_cast<ptrdiff_t>(n) - 1;
    while (avail > 0) {
        while (r >= 0 && a[r] == depth) {
            ++used;
            --r;
        }
        while (avail > used) {
            a[next--] = depth;
            --avail;
        }
        avail = 2 * used;
        ++depth;
        used = 0;
    }
}

}  // namespace

uint64_t HuffmanBuilder::buildLengths(const uint32_t* counts, uint32_t alphabet, unsigned maxLength,
                                      uint8_t* lengths) {
    m_sorted.clear();
    for (uint32_t s = 0; s < alphabet; ++s) {
        lengths[s] = 0;
        if (counts[s] != 0) m_sorted.emplace_back(counts[s], s);
    }
    if (m_sorted.empty()) return 0;
    std::sort(m_sorted.begin(), m_sorted.end());
    const size_t n = m_sorted.size();
    m_weights.resize(n);
    for (unsigned shift = 0;; ++shift) {
        // Halving keeps the order, so the one sort serves every round.
        for (size_t i = 0; i < n; ++i) m_weights[i] = (uint64_t{m_sorted[i].first} >> shift) | 1;
        minimumRedundancy(m_weights.data(), n);
        if (m_weights[0] <= maxLength) break;  // the rarest symbol has the longest code
    }
    uint64_t bits = 0;
    for (size_t i = 0; i < n; ++i) {
        lengths[m_sorted[i].second] = static_cast<uint8_t>(m_weights[i]);
        bits += uint64_t{m_sorted[i].first} * m_weights[i];
    }
    return bits;
}

uint32_t reverseBits(uint32_t v, unsigned count) {
    uint32_t r = 0;
    for (unsigned i = 0; i < count; ++i) {
        r = (r << 1) | (v & 1);
        v >>= 1;
    }
    return r;
}

void buildCodes(const uint8_t* lengths, uint32_t alphabet, uint32_t* codes) {
    uint32_t perLength[32] = {};
    for (uint32_t s = 0; s < alphabet; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    uint32_t next[32] = {};
    uint32_t code = 0;
    for (unsigned len = 1; len < 32; ++len) {
        code = (code + perLength[len - 1]) << 1;
        next[len] = code;
    }
    for (uint32_t s = 0; s < alphabet; ++s) {
        const unsigned len = lengths[s];
        codes[s] = len == 0 ? 0 : (reverseBits(next[len]++, len) << 8) | len;
    }
}

}  // namespace parvolux
