// Median rows in 256-bit vectors. Everything this unit needs from the standard library and the
// intrinsics is included before the target region, so that only the functions defined inside it
// are built for AVX2, never an inline function another unit might share.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/parvolux_common64/decoder/median_wide.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "platform/parvolux_common64/decoder/median_tiles.h"

namespace parvolux {
namespace {

// The median wavefront's operations on 256-bit vectors: two groups of rows, one a 128-bit half;
// every operation keeps to its half.
struct Avx2 {
    using T = __m256i;
    static constexpr unsigned kGroups = 2;
    static T join(__m128i lo, __m128i hi) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    }
    static T load(const void* lo, const void* hi) {
        return join(_mm_loadu_si128(static_cast<const __m128i*>(lo)),
                    _mm_loadu_si128(static_cast<const __m128i*>(hi)));
    }
    static void store(void* lo, void* hi, T v) {
        _mm_storeu_si128(static_cast<__m128i*>(lo), _mm256_castsi256_si128(v));
        _mm_storeu_si128(static_cast<__m128i*>(hi), _mm256_extracti128_si256(v, 1));
    }
    static T zero() { return _mm256_setzero_si256(); }
    static T orV(T a, T b) { return _mm256_or_si256(a, b); }
    static T andV(T a, T b) { return _mm256_and_si256(a, b); }
    static T andNot(T a, T b) { return _mm256_andnot_si256(a, b); }
    static T xorV(T a, T b) { return _mm256_xor_si256(a, b); }
    static bool allZero(T v) { return _mm256_testz_si256(v, v) != 0; }
    static bool allEqual(T a, T b) { return allZero(xorV(a, b)); }
    static T unpackLo8(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
    static T unpackHi8(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
    static T unpackLo16(T a, T b) { return _mm256_unpacklo_epi16(a, b); }
    static T unpackHi16(T a, T b) { return _mm256_unpackhi_epi16(a, b); }
    static T unpackLo32(T a, T b) { return _mm256_unpacklo_epi32(a, b); }
    static T unpackHi32(T a, T b) { return _mm256_unpackhi_epi32(a, b); }
    static T unpackLo64(T a, T b) { return _mm256_unpacklo_epi64(a, b); }
    static T unpackHi64(T a, T b) { return _mm256_unpackhi_epi64(a, b); }
    static T add8(T a, T b) { return _mm256_add_epi8(a, b); }
    static T sub8(T a, T b) { return _mm256_sub_epi8(a, b); }
    static T minU8(T a, T b) { return _mm256_min_epu8(a, b); }
    static T maxU8(T a, T b) { return _mm256_max_epu8(a, b); }
    static T greater8(T a, T b) { return _mm256_cmpgt_epi8(a, b); }
    static T add16(T a, T b) { return _mm256_add_epi16(a, b); }
    static T sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
    static T minI16(T a, T b) { return _mm256_min_epi16(a, b); }
    static T maxI16(T a, T b) { return _mm256_max_epi16(a, b); }
    static T greater16(T a, T b) { return _mm256_cmpgt_epi16(a, b); }
    template <int N>
    static T shiftUpBytes(T v) {
        return _mm256_slli_si256(v, N);
    }
    template <int N>
    static T shiftDownBytes(T v) {
        return _mm256_srli_si256(v, N);
    }
    template <int I>
    static T shuffle32(T v) {
        return _mm256_shuffle_epi32(v, I);
    }
    template <int I>
    static T shuffleHi16(T v) {
        return _mm256_shufflehi_epi16(v, I);
    }
    template <int I>
    static T shuffleLo16(T v) {
        return _mm256_shufflelo_epi16(v, I);
    }
    template <int N>
    static T shiftLeft16(T v) {
        return _mm256_slli_epi16(v, N);
    }
    template <int N>
    static T shiftRight16(T v) {
        return _mm256_srli_epi16(v, N);
    }
    static T shiftLeft16(T v, __m128i count) { return _mm256_sll_epi16(v, count); }
    static T shiftRight16(T v, __m128i count) { return _mm256_srl_epi16(v, count); }
    static T splat8(int lo, int hi) {
        return join(_mm_set1_epi8(static_cast<char>(lo)), _mm_set1_epi8(static_cast<char>(hi)));
    }
    static T splat16(int lo, int hi) {
        return join(_mm_set1_epi16(static_cast<short>(lo)), _mm_set1_epi16(static_cast<short>(hi)));
    }
    static T laneIndex8() {
        const __m128i i = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        return join(i, i);
    }
    static T laneIndex16() {
        const __m128i i = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
        return join(i, i);
    }
    static T firstLane(int mask) { return join(_mm_cvtsi32_si128(mask), _mm_cvtsi32_si128(mask)); }
};

}  // namespace

template <class S>
void medianRowsWide(S* first, uint32_t width, unsigned bits) {
    static_assert(kWideMedianGroups == 2 * Avx2::kGroups);
    median::medianRows<S, Avx2>(first, width, bits, median::Lanes<S, Avx2>::kCount, true, nullptr,
                                false);
}
template void medianRowsWide<uint8_t>(uint8_t*, uint32_t, unsigned);
template void medianRowsWide<uint16_t>(uint16_t*, uint32_t, unsigned);

}  // namespace parvolux

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else

// Built without the wide way: it is never chosen, so medianRowsWide() is never called.
namespace parvolux {

template <class S>
void medianRowsWide(S*, uint32_t, unsigned) {}
template void medianRowsWide<uint8_t>(uint8_t*, uint32_t, unsigned);
template void medianRowsWide<uint16_t>(uint16_t*, uint32_t, unsigned);

}  // namespace parvolux

#endif
