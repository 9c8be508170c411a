// The code lengths of a Huffman chunk, run-length coded: residual distributions are smooth, so
// neighbouring symbols share lengths and a table of thousands of symbols takes a few bytes.
// Each run is one byte, length in the low 5 bits and run-1 in the top 3; run-1 = 7 means a
// LEB128 count of the rest (run - 8) follows.
#ifndef PARVOLUX_COMMON64_ENTROPY_CODE_LENGTH_TABLE_H
#define PARVOLUX_COMMON64_ENTROPY_CODE_LENGTH_TABLE_H

#include <cstddef>
#include <cstdint>

namespace parvolux {

// Bytes writeCodeLengths will produce.
size_t codeLengthTableSize(const uint8_t* lengths, uint32_t alphabet);
// Writes the table; answers the bytes written.
size_t writeCodeLengths(const uint8_t* lengths, uint32_t alphabet, uint8_t* out);
// Reads exactly `alphabet` lengths, each at most maxLength. Answers the bytes read, or 0 when
// the table is malformed or runs past `size`.
[[nodiscard]] size_t readCodeLengths(const uint8_t* in, size_t size, uint32_t alphabet,
                                     unsigned maxLength, uint8_t* lengths);

}  // namespace parvolux

#endif
