#include "platform/parvolux_common64/decoder/row_scatterer.h"

#include <cstring>

namespace parvolux {
namespace {

inline void store16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

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
        for (uint32_t x = 0; x < w; ++x) {
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
            for (uint32_t x = 0; x < w; ++x)
                store16(dst + 2 * size_t{x}, uint32_t{src[x]} << shift);
        }
    }
}

template class RowScatterer<uint8_t>;
template class RowScatterer<uint16_t>;

}  // namespace parvolux
