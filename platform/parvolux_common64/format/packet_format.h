// The library's own bitstream, shared by the encoder and the decoder.
//
// Cookie (codec private bytes, 8): the stream's four-character code, the bitstream version, the
// compressed format code, then what the caller said of the pictures: their range (0 unknown,
// 1 limited, 2 full) and field order (0 progressive or unknown, 1 top field first, 2 bottom
// field first). Streams written before these two bytes were used hold zeros there.
//
// Frame: u8 version, u8 plane count, u16 slice count, then one u32 byte size per chunk, then the
// chunks in slice order, each slice holding its planes in order. A chunk codes the prediction
// residuals of one plane over the rows of one slice; slices share nothing, so each can be coded
// and decoded on its own. A chunk begins with one byte: the mode in the low nibble, the
// predictor in the high nibble.
//   Constant: u16 value; every sample of the plane in the slice has that value.
//   Raw:      the residuals at `bits` bits each, least significant bit first.
//   Huffman:  the code lengths (CodeLengthTable), then the codes, least significant bit first.
//             Besides the 2^bits residual symbols the alphabet has two zero-block symbols: eight
//             zero residuals at a multiple of 8, and 64 at a multiple of 64.
// All multi-byte fields are little-endian.
#ifndef PARVOLUX_COMMON64_FORMAT_PACKET_FORMAT_H
#define PARVOLUX_COMMON64_FORMAT_PACKET_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace parvolux {

inline constexpr uint8_t kBitstreamVersion = 1;
inline constexpr size_t kCookieSize = 8;
inline constexpr size_t kCookieRange = 6;
inline constexpr size_t kCookieFieldOrder = 7;
inline constexpr size_t kFrameHeaderFixed = 4;
inline constexpr size_t kChunkSizeField = 4;
inline constexpr uint32_t kMaxSlices = 1024;

enum class ChunkMode : uint8_t { Constant = 0, Raw = 1, Huffman = 2 };

inline constexpr size_t kConstantChunkSize = 3;

// Zero-block symbols follow the residual symbols.
inline constexpr uint32_t zeroBlock8Symbol(unsigned bits) {
    return 1u << bits;
}
inline constexpr uint32_t zeroBlock64Symbol(unsigned bits) {
    return (1u << bits) + 1;
}
// The zeros a zero-block symbol stands for, given the first such symbol (zeroBlock8Symbol()).
inline constexpr uint32_t zeroBlockSize(uint32_t symbol, uint32_t block8Symbol) {
    return symbol == block8Symbol ? 8 : 64;
}
inline constexpr uint32_t alphabetSize(unsigned bits) {
    return (1u << bits) + 2;
}

// The longest Huffman code: two codes plus a partial byte fit one 64-bit accumulator.
inline constexpr unsigned kMaxCodeLength = 24;

}  // namespace parvolux

#endif
