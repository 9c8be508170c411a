#include "platform/parvolux_common64/encoder/row_gatherer.h"

#include <cstring>

namespace parvolux {
namespace {

inline uint32_t load16(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8);
}

}  // namespace

template <class S>
RowGatherer<S>::RowGatherer(const StreamGeometry& geometry, const FramePlanes& planes, S* ring)
    : m_geometry(geometry),
      m_planes(planes),
      m_layout(findRawFormat(geometry.format->rawCode)->layout),
      m_ring(ring),
      m_width(geometry.width),
      m_shift(16 - geometry.format->bits) {}

template <class S>
void RowGatherer<S>::gatherRgb(uint32_t row, GroupRows<S>& out) {
    const uint32_t w = m_width;
    const unsigned channels = m_geometry.format->kind == StreamKind::Rgba ? 4 : 3;
    S* g = ringRow(0, row);
    S* bg = ringRow(1, row);
    S* rg = ringRow(2, row);
    S* a = channels == 4 ? ringRow(3, row) : nullptr;
    const uint8_t* src = srcRow(0, row);
    if constexpr (sizeof(S) == 1) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* px = src + size_t{x} * channels;
            g[x] = px[1];
            bg[x] = static_cast<uint8_t>(px[2] - px[1]);
            rg[x] = static_cast<uint8_t>(px[0] - px[1]);
        }
        if (a != nullptr)
            for (uint32_t x = 0; x < w; ++x) a[x] = src[size_t{x} * 4 + 3];
    } else {
        const unsigned shift = m_shift;
        const uint32_t mask = (1u << (16 - shift)) - 1;
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* px = src + size_t{x} * channels * 2;
            const uint32_t r = load16(px) >> shift, gv = load16(px + 2) >> shift,
                           b = load16(px + 4) >> shift;
            g[x] = static_cast<S>(gv);
            bg[x] = static_cast<S>((b - gv) & mask);
            rg[x] = static_cast<S>((r - gv) & mask);
        }
        if (a != nullptr)
            for (uint32_t x = 0; x < w; ++x)
                a[x] = static_cast<S>(load16(src + size_t{x} * 8 + 6) >> shift);
    }
    for (unsigned p = 0; p < channels; ++p) {
        out.row[p][0] = ringRow(p, row);
        out.count[p] = 1;
    }
}

template <class S>
void RowGatherer<S>::gatherUyvy(uint32_t row, GroupRows<S>& out) {
    S* y = ringRow(0, row);
    S* u = ringRow(1, row);
    S* v = ringRow(2, row);
    const uint8_t* src = srcRow(0, row);
    const uint32_t pairs = m_width / 2;
    for (uint32_t k = 0; k < pairs; ++k) {
        const uint8_t* q = src + size_t{k} * 4;
        u[k] = q[0];
        y[2 * k] = q[1];
        v[k] = q[2];
        y[2 * k + 1] = q[3];
    }
    if (m_width % 2 != 0) {
        const uint8_t* q = src + size_t{pairs} * 4;
        u[pairs] = q[0];
        y[2 * pairs] = q[1];
        v[pairs] = q[2];
    }
    for (unsigned p = 0; p < 3; ++p) {
        out.row[p][0] = ringRow(p, row);
        out.count[p] = 1;
    }
}

template <class S>
void RowGatherer<S>::gatherPlanar(unsigned plane, unsigned srcPlane, uint32_t row,
                                  GroupRows<S>& out) {
    const uint8_t* src = srcRow(srcPlane, row);
    const unsigned k = out.count[plane]++;
    if constexpr (sizeof(S) == 1) {
        out.row[plane][k] = src;
    } else {
        S* dst = ringRow(plane, row);
        const unsigned shift = m_shift;
        for (uint32_t x = 0; x < m_geometry.planeWidth[plane]; ++x)
            dst[x] = static_cast<S>(load16(src + 2 * size_t{x}) >> shift);
        out.row[plane][k] = dst;
    }
}

template <class S>
void RowGatherer<S>::gatherChroma420(unsigned plane, uint32_t row, GroupRows<S>& out) {
    if constexpr (sizeof(S) == 1) {
        gatherPlanar(plane, plane, row, out);  // the input is 4:2:0 already
    } else {
        const uint8_t* top = srcRow(plane, 2 * row);
        const uint8_t* bottom = 2 * row + 1 < m_geometry.height ? srcRow(plane, 2 * row + 1) : top;
        S* dst = ringRow(plane, row);
        const unsigned shift = m_shift;
        for (uint32_t x = 0; x < m_geometry.planeWidth[plane]; ++x)
            dst[x] = static_cast<S>(((load16(top + 2 * size_t{x}) >> shift) +
                                     (load16(bottom + 2 * size_t{x}) >> shift) + 1) >>
                                    1);
        out.row[plane][out.count[plane]++] = dst;
    }
}

template <class S>
void RowGatherer<S>::gather(uint32_t group, GroupRows<S>& out) {
    out = GroupRows<S>{};
    switch (m_geometry.format->kind) {
        case StreamKind::Rgb:
        case StreamKind::Rgba:
            gatherRgb(group, out);
            break;
        case StreamKind::Yuv444:
            for (unsigned p = 0; p < 3; ++p) gatherPlanar(p, p, group, out);
            break;
        case StreamKind::Yuv422:
            if (m_layout == RawLayout::Uyvy) {
                gatherUyvy(group, out);
            } else {
                for (unsigned p = 0; p < 3; ++p) gatherPlanar(p, p, group, out);
            }
            break;
        case StreamKind::Yuv420:
            gatherPlanar(0, 0, 2 * group, out);
            if (2 * group + 1 < m_geometry.height) gatherPlanar(0, 0, 2 * group + 1, out);
            gatherChroma420(1, group, out);
            gatherChroma420(2, group, out);
            break;
        case StreamKind::Luma:
            gatherPlanar(0, 0, group, out);
            break;
    }
}

template class RowGatherer<uint8_t>;
template class RowGatherer<uint16_t>;

}  // namespace parvolux
