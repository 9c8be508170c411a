// The lockstep loops built for BMI1 and BMI2. Everything this unit needs from other headers is
// included before the target region, so that only the functions defined inside it are built
// for those instructions, never an inline function another unit might share.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/parvolux_common64/entropy/huffman_stream.h"

#if defined(__x86_64__) && defined(__GNUC__)

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("bmi,bmi2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("bmi,bmi2")
#endif

#include "platform/parvolux_common64/entropy/huffman_rounds.h"

namespace parvolux {
namespace {
struct Bmi {};
}  // namespace

template <class S>
bool decodeStreamsBmi(HuffmanStream<S>* s, unsigned count, unsigned laneBits) {
    return rounds::decodeAll<Bmi, S>(s, count, laneBits);
}
template bool decodeStreamsBmi<uint8_t>(HuffmanStream<uint8_t>*, unsigned, unsigned);
template bool decodeStreamsBmi<uint16_t>(HuffmanStream<uint16_t>*, unsigned, unsigned);

}  // namespace parvolux

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else

// Built without them: this way is never chosen, so decodeStreamsBmi() is never called.
namespace parvolux {

template <class S>
bool decodeStreamsBmi(HuffmanStream<S>*, unsigned, unsigned) {
    return false;
}
template bool decodeStreamsBmi<uint8_t>(HuffmanStream<uint8_t>*, unsigned, unsigned);
template bool decodeStreamsBmi<uint16_t>(HuffmanStream<uint16_t>*, unsigned, unsigned);

}  // namespace parvolux

#endif
