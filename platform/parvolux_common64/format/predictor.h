// Spatial prediction of one plane row. The encoder turns samples into residuals, the decoder
// residuals back into samples; both wrap modulo 2^bits (mask = 2^bits - 1).
//
// The first row of a slice is predicted from the left (its first sample from mid-grey); every
// other row's first sample from the one above. The rest use the chosen predictor:
//   Left:     L
//   Gradient: L + T - TL
//   Median:   the median of L, T and L + T - TL
// On the encoder side every neighbour is a known source sample, so predictRow is a plain
// element-wise loop that the compiler vectorises; it is kept apart from entropy coding for that.
// The decoder's inverse is decoder/slice_unpredictor.
#ifndef PARVOLUX_COMMON64_FORMAT_PREDICTOR_H
#define PARVOLUX_COMMON64_FORMAT_PREDICTOR_H

#include <cstdint>
#include <type_traits>

namespace parvolux {

enum class Predictor : uint8_t { Left = 0, Gradient = 1, Median = 2 };
inline constexpr unsigned kPredictorCount = 3;

namespace detail {
// 16-bit samples hold at most 14 bits, so signed 16-bit lanes (min/max in plain SSE2) suffice.
template <class S>
using Lane = std::conditional_t<sizeof(S) == 1, uint8_t, int16_t>;

template <class S>
inline S median3(S a, S b, S c) {
    const S lo = a < b ? a : b;
    const S hi = a < b ? b : a;
    const S m = hi < c ? hi : c;
    return lo < m ? m : lo;
}
}  // namespace detail

template <class S>
void predictRow(Predictor predictor, const S* __restrict cur, const S* __restrict above,
                uint32_t width, S mask, S* __restrict res) {
    using L = detail::Lane<S>;
    const L m = static_cast<L>(mask);
    if (above == nullptr) {
        res[0] = static_cast<S>((cur[0] - (mask / 2 + 1)) & mask);
        for (uint32_t i = 1; i < width; ++i) res[i] = static_cast<S>((cur[i] - cur[i - 1]) & mask);
        return;
    }
    res[0] = static_cast<S>((cur[0] - above[0]) & mask);
    switch (predictor) {
        case Predictor::Left:
            for (uint32_t i = 1; i < width; ++i)
                res[i] = static_cast<S>((cur[i] - cur[i - 1]) & mask);
            break;
        case Predictor::Gradient:
            for (uint32_t i = 1; i < width; ++i) {
                const L g =
                    static_cast<L>(static_cast<L>(cur[i - 1] + above[i] - above[i - 1]) & m);
                res[i] = static_cast<S>(static_cast<L>(cur[i] - g) & m);
            }
            break;
        case Predictor::Median:
            for (uint32_t i = 1; i < width; ++i) {
                const L l = static_cast<L>(cur[i - 1]), t = static_cast<L>(above[i]);
                const L g =
                    static_cast<L>(static_cast<L>(l + t - static_cast<L>(above[i - 1])) & m);
                const L p = detail::median3<L>(l, t, g);
                res[i] = static_cast<S>(static_cast<L>(static_cast<L>(cur[i]) - p) & m);
            }
            break;
    }
}

}  // namespace parvolux

#endif
