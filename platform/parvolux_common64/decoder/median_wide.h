// Median rows in 256-bit vectors (AVX2), for processors that have them: four groups of rows at
// once, two a vector (see median_tiles.h). Built apart from the rest of the library, which runs on
// any x86-64 processor; only where usable(InstructionSet::Avx2) may medianRowsWide() be called.
#ifndef PARVOLUX_COMMON64_DECODER_MEDIAN_WIDE_H
#define PARVOLUX_COMMON64_DECODER_MEDIAN_WIDE_H

#include <cstdint>

namespace parvolux {

// Groups of rows medianRowsWide() takes: sixteen 8-bit or eight 16-bit rows each.
inline constexpr unsigned kWideMedianGroups = 4;

// The median rows from `first` on, kWideMedianGroups groups of them, the row above `first`
// final; width is more than kWideMedianGroups + 4 groups' rows. For rows where flat areas are
// unlikely: it does not look for uniform tiles. The rows may be read and written back as
// unpredictSlice() says.
template <class S>
void medianRowsWide(S* first, uint32_t width, unsigned bits);

}  // namespace parvolux

#endif
