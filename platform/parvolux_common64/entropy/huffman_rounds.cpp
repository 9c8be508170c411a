// The lockstep loops built for any x86-64 processor; huffman_rounds_bmi.cpp builds them for
// BMI1 and BMI2.
#include "platform/parvolux_common64/entropy/huffman_rounds.h"

#include "platform/parvolux_common64/entropy/huffman_stream.h"

namespace parvolux {
namespace {
struct Baseline {};
}  // namespace

template <class S>
bool decodeStreams(HuffmanStream<S>* s, unsigned count, unsigned laneBits) {
    return rounds::decodeAll<Baseline, S>(s, count, laneBits);
}
template bool decodeStreams<uint8_t>(HuffmanStream<uint8_t>*, unsigned, unsigned);
template bool decodeStreams<uint16_t>(HuffmanStream<uint16_t>*, unsigned, unsigned);

}  // namespace parvolux
