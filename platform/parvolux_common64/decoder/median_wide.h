// Median rows in 256-bit vectors (AVX2), for processors that have them: four groups of rows at
// once, two a vector (see median_tiles.h). Built apart from the rest of the library, which runs on
// any x86-64 processor; wideMedianAvailable() says whether this one may call medianRowsWide().
#ifndef PARVOLUX_COMMON64_DECODER_MEDIAN_WIDE_H
#define PARVOLUX_COMMON64_DECODER_MEDIAN_WIDE_H

#include <cstdint>

namespace parvolux {

// Groups of rows medianRowsWide() takes: sixteen 8-bit or eight 16-bit rows each.
inline constexpr unsigned kWideMedianGroups = 4;

// Whether the processor has AVX2 and the wide way is allowed (see allowWideMedian()).
bool wideMedianAvailable();
// Tests reach the 128-bit way on any processor by turning the wide one off.
void allowWideMedian(bool allow);

// The median rows from `first` on, kWideMedianGroups groups of them, the row above `first`
// final; width is more than kWideMedianGroups + 4 groups' rows. For rows where flat areas are
// unlikely: it does not look for uniform tiles. The rows may be read and written back as
// unpredictSlice() says.
template <class S>
void medianRowsWide(S* first, uint32_t width, unsigned bits);

}  // namespace parvolux

#endif
