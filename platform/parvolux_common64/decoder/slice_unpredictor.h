// The decoder's inverse of the spatial prediction (see format/predictor.h): turns the residuals
// of one plane over one slice back into samples, in place.
//
// Left and gradient rows are prefix sums (of the residual, plus the row above's horizontal
// difference for gradient), summed sixteen or eight lanes at a time where SSE2 is there. A
// median row depends on the sample it just made, so no row goes faster than one sample after
// another; instead four rows advance together, each one column behind the row above it, which
// gives the processor four independent chains, with the row above's fresh samples passed along
// in registers. With SSE2 the rows are vector lanes, sixteen 8-bit or eight 16-bit ones at once
// (see median_tiles.h), and with AVX2 two such groups a vector (median_wide.h).
#ifndef PARVOLUX_COMMON64_DECODER_SLICE_UNPREDICTOR_H
#define PARVOLUX_COMMON64_DECODER_SLICE_UNPREDICTOR_H

#include <cstddef>
#include <cstdint>

#include "platform/parvolux_common64/format/predictor.h"

namespace parvolux {

// rows holds rowCount rows of width residuals, each `bits` bits; the first row is the slice's
// first (predicted from the left and mid-grey). The rows may be read and written back up to
// kUnpredictReach samples before and 2 * kUnpredictReach after them; spare is scratch of
// kUnpredictSpareRows<S> rows of width samples, one after another, with as much room around them.
// `flatAreas`: the residuals have long runs of zeros, so that vertically uniform areas, which
// have a shortcut, are likely.
inline constexpr size_t kUnpredictReach = 16;
// A row for each idle lane of a group of rows short of a vector's lanes (sixteen 8-bit or eight
// 16-bit rows), so that no two lanes work on the same memory.
template <class S>
inline constexpr size_t kUnpredictSpareRows = 16 / sizeof(S) - 1;

template <class S>
void unpredictSlice(Predictor predictor, S* rows, uint32_t width, uint32_t rowCount, unsigned bits,
                    S* spare, bool flatAreas);

}  // namespace parvolux

#endif
