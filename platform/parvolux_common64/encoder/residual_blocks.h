// The walk over a chunk's residuals that the symbol counter and the Huffman writer share, so
// that both see the same symbols: aligned blocks of 64 zeros become one symbol, then aligned
// blocks of 8 zeros, the rest are literal residuals. On flat content this takes the coded size
// well below one bit per sample, and on busy content it costs one test per 8 samples.
#ifndef PARVOLUX_COMMON64_ENCODER_RESIDUAL_BLOCKS_H
#define PARVOLUX_COMMON64_ENCODER_RESIDUAL_BLOCKS_H

#include <cstddef>
#include <cstdint>

#include "platform/parvolux_common64/common/byte_io.h"

namespace parvolux {

template <class S, size_t N>
inline bool allZero(const S* p) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(p);
    uint64_t acc = 0;
    for (size_t k = 0; k < N * sizeof(S) / 8; ++k) acc |= load64(bytes + 8 * k);
    return acc == 0;
}

// Calls visitor.zero64(), visitor.zero8(), visitor.literal8(p) and visitor.literal(v) in
// stream order.
template <class S, class Visitor>
inline void walkResiduals(const S* r, size_t n, Visitor& visitor) {
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        if (allZero<S, 64>(r + i)) {
            visitor.zero64();
            continue;
        }
        for (size_t j = i; j < i + 64; j += 8) {
            if (allZero<S, 8>(r + j))
                visitor.zero8();
            else
                visitor.literal8(r + j);
        }
    }
    for (; i + 8 <= n; i += 8) {
        if (allZero<S, 8>(r + i))
            visitor.zero8();
        else
            visitor.literal8(r + i);
    }
    for (; i < n; ++i) visitor.literal(r[i]);
}

}  // namespace parvolux

#endif
