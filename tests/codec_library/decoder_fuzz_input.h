// The input the decoder fuzzer reads, shared with the tool that makes its seed corpus:
// byte 0 picks the stream, bytes 1 and 2 the frame width and height (1 to 64), byte 3 the
// decoder flags; the rest is the packet.
#ifndef PARVOLUX_TESTS_CODEC_LIBRARY_DECODER_FUZZ_INPUT_H
#define PARVOLUX_TESTS_CODEC_LIBRARY_DECODER_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec_fuzz {

inline constexpr size_t kHeaderBytes = 4;
inline constexpr uint32_t kMaxSide = 64;
// The sixteen (raw, compressed) format pairs, in the format table's order.
inline constexpr uint32_t kPairs[16][2] = {
    {22, 101}, {20, 102}, {29, 103}, {5, 104},  {10, 105}, {10, 107}, {28, 109}, {26, 110},
    {51, 118}, {59, 108}, {59, 123}, {59, 115}, {28, 111}, {26, 112}, {28, 113}, {26, 114}};

// The cookie of each of the sixteen streams, from the library itself.
const std::vector<std::vector<uint8_t>>& streamCookies();

}  // namespace codec_fuzz

#endif
