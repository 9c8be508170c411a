// Turns a raw frame into the coded rows of a stream, one row group at a time, as the encoder
// consumes them: RGB decorrelated to G, B-G, R-G; packed 4:2:2 split into planes; 16-bit
// samples cut to their top bits; 4:2:0 chroma averaged from 4:2:2 rows; luma-only streams
// ignoring chroma. Planar 8-bit rows are handed out in place, others are built in a small ring
// of row buffers that keeps the row above alive for prediction.
#ifndef PARVOLUX_COMMON64_ENCODER_ROW_GATHERER_H
#define PARVOLUX_COMMON64_ENCODER_ROW_GATHERER_H

#include <cstdint>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/format/format_catalog.h"
#include "platform/parvolux_common64/format/frame_geometry.h"

namespace parvolux {

template <class S>
struct GroupRows {
    const S* row[4][2] = {};
    unsigned count[4] = {};
};

template <class S>
class RowGatherer {
public:
    static constexpr unsigned kRingRows = 4;

    // ring holds kRingRows * geometry.planes * geometry.width samples. The planes are the
    // caller's, already checked against the raw geometry.
    RowGatherer(const StreamGeometry& geometry, const FramePlanes& planes, S* ring);

    void gather(uint32_t group, GroupRows<S>& out);

private:
    S* ringRow(unsigned plane, uint32_t row) const {
        return m_ring + (size_t{plane} * kRingRows + row % kRingRows) * m_width;
    }
    const uint8_t* srcRow(unsigned plane, uint32_t row) const {
        return static_cast<const uint8_t*>(m_planes.plane[plane].data) +
               size_t{row} * m_planes.plane[plane].aux;
    }
    void gatherRgb(uint32_t row, GroupRows<S>& out);
    void gatherUyvy(uint32_t row, GroupRows<S>& out);
    void gatherPlanar(unsigned plane, unsigned srcPlane, uint32_t row, GroupRows<S>& out);
    void gatherChroma420(unsigned plane, uint32_t row, GroupRows<S>& out);

    const StreamGeometry& m_geometry;
    const FramePlanes& m_planes;
    RawLayout m_layout;
    S* m_ring;
    uint32_t m_width;
    unsigned m_shift;  // 16 - bits for 16-bit input
};

}  // namespace parvolux

#endif
