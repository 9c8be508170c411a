#include "platform/parvolux_common64/decoder/row_scatterer.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace parvolux {
namespace {

inline void store16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

#if defined(__SSE2__)
inline __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// Sixteen 8-bit pixels from the coded planes into dst as R, G, B (and A) bytes. The RGB form
// packs each four pixels into 12 bytes of a 16-byte store, so it writes four bytes past the
// sixteenth pixel, which the pixels after it overwrite.
template <unsigned kChannels>
inline void interleave16(uint8_t* dst, const uint8_t* g, const uint8_t* bg, const uint8_t* rg,
                         const uint8_t* a) {
    const __m128i gv = load(g);
    const __m128i r = _mm_add_epi8(load(rg), gv), b = _mm_add_epi8(load(bg), gv);
    const __m128i fourth = kChannels == 4 ? load(a) : _mm_setzero_si128();
    const __m128i rgLo = _mm_unpacklo_epi8(r, gv), rgHi = _mm_unpackhi_epi8(r, gv);
    const __m128i baLo = _mm_unpacklo_epi8(b, fourth), baHi = _mm_unpackhi_epi8(b, fourth);
    const __m128i quads[4] = {_mm_unpacklo_epi16(rgLo, baLo), _mm_unpackhi_epi16(rgLo, baLo),
                              _mm_unpacklo_epi16(rgHi, baHi), _mm_unpackhi_epi16(rgHi, baHi)};
    for (unsigned q = 0; q < 4; ++q) {
        if constexpr (kChannels == 4) {
            store(dst + 16 * q, quads[q]);
        } else {
            // Two pixels of six bytes in each half, then the halves side by side.
            const __m128i pairs = _mm_or_si128(
                _mm_and_si128(quads[q], _mm_set1_epi64x(0xFFFFFFFF)),
                _mm_and_si128(_mm_srli_epi64(quads[q], 8), _mm_set1_epi64x(-0x1000000)));
            store(dst + 12 * q,
                  _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6)));
        }
    }
}
#endif

}  // namespace

ParvoluxOutputLayout outputLayout(const StreamGeometry& geometry, bool lowAligned) {
    ParvoluxOutputLayout layout{};
    const StreamFormat& format = *geometry.format;
    layout.compressedFormat = format.code;
    const uint32_t bytes = format.bits > 8 ? 2 : 1;
    const auto fill = [&](unsigned p, uint32_t width, uint32_t height, uint32_t components,
                          const char* name) {
        ParvoluxPlaneLayout& pl = layout.plane[p];
        pl.width = width;
        pl.height = height;
        pl.samplesPerPixel = components;
        pl.bytesPerSample = bytes;
        pl.significantBits = format.bits;
        pl.shift = bytes == 2 && !lowAligned ? 16u - format.bits : 0u;
        pl.rowBytes = width * components * bytes;
        std::strncpy(pl.components, name, sizeof pl.components - 1);
    };
    if (isRgb(format.kind)) {
        layout.planeCount = 1;
        const bool alpha = format.kind == StreamKind::Rgba;
        fill(0, geometry.width, geometry.height, alpha ? 4 : 3, alpha ? "RGBA" : "RGB");
        return layout;
    }
    static const char* const kNames[3] = {"Y", "U", "V"};
    layout.planeCount = geometry.planes;
    for (unsigned p = 0; p < geometry.planes; ++p)
        fill(p, geometry.planeWidth[p], geometry.planeHeight[p], 1, kNames[p]);
    return layout;
}

template <class S>
RowScatterer<S>::RowScatterer(const StreamGeometry& geometry, const ParvoluxOutputPlane* planes,
                              bool lowAligned)
    : m_geometry(geometry),
      m_planes(planes),
      m_shift(sizeof(S) == 2 && !lowAligned ? 16u - geometry.format->bits : 0u) {}

template <class S>
template <unsigned kChannels>
void RowScatterer<S>::writeRgbRows(uint32_t slice, const S* const slicePlanes[4]) const {
    const uint32_t mask = (1u << m_geometry.format->bits) - 1;
    const unsigned shift = m_shift;
    const uint32_t w = m_geometry.width;
    const uint32_t first = m_geometry.planeRow(0, m_geometry.sliceGroup(slice));
    const uint32_t rows = m_geometry.sliceRows(0, slice);
    for (uint32_t r = 0; r < rows; ++r) {
        const S* g = slicePlanes[0] + size_t{r} * w;
        const S* bg = slicePlanes[1] + size_t{r} * w;
        const S* rg = slicePlanes[2] + size_t{r} * w;
        const S* a = kChannels == 4 ? slicePlanes[3] + size_t{r} * w : nullptr;
        uint8_t* dst = outRow(0, first + r);
        uint32_t x = 0;
#if defined(__SSE2__)
        // The RGB stores reach four bytes past their pixels: stop two pixels short of the row's
        // end.
        if constexpr (sizeof(S) == 1)
            for (; x + 16 + (kChannels == 3 ? 2 : 0) <= w; x += 16)
                interleave16<kChannels>(dst + size_t{x} * kChannels, g + x, bg + x, rg + x,
                                        a == nullptr ? nullptr : a + x);
#endif
        for (; x < w; ++x) {
            const uint32_t gv = g[x];
            uint32_t values[kChannels] = {(rg[x] + gv) & mask, gv, (bg[x] + gv) & mask};
            if constexpr (kChannels == 4) values[3] = a[x];
            for (unsigned c = 0; c < kChannels; ++c) {
                if constexpr (sizeof(S) == 1)
                    dst[size_t{x} * kChannels + c] = static_cast<uint8_t>(values[c]);
                else
                    store16(dst + (size_t{x} * kChannels + c) * 2, values[c] << shift);
            }
        }
    }
}

template <class S>
void RowScatterer<S>::writeRgb(uint32_t slice, const S* const slicePlanes[4]) const {
    if (m_geometry.format->kind == StreamKind::Rgba)
        writeRgbRows<4>(slice, slicePlanes);
    else
        writeRgbRows<3>(slice, slicePlanes);
}

template <class S>
void RowScatterer<S>::writePlane(uint32_t slice, unsigned plane, const S* rows) const {
    const unsigned shift = m_shift;
    const uint32_t w = m_geometry.planeWidth[plane];
    const uint32_t first = m_geometry.planeRow(plane, m_geometry.sliceGroup(slice));
    const uint32_t count = m_geometry.sliceRows(plane, slice);
    for (uint32_t r = 0; r < count; ++r) {
        const S* src = rows + size_t{r} * w;
        uint8_t* dst = outRow(plane, first + r);
        if constexpr (sizeof(S) == 1) {
            std::memcpy(dst, src, w);
        } else {
            uint32_t x = 0;
#if defined(__SSE2__)
            const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
            for (; x + 8 <= w; x += 8)
                store(dst + 2 * size_t{x}, _mm_sll_epi16(load(src + x), count));
#endif
            for (; x < w; ++x) store16(dst + 2 * size_t{x}, uint32_t{src[x]} << shift);
        }
    }
}

template class RowScatterer<uint8_t>;
template class RowScatterer<uint16_t>;

}  // namespace parvolux
