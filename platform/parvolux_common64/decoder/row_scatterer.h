// The decoder's last step: writes the reconstructed coded planes of one slice into the caller's
// output planes in the stream's output layout (see parvolux_decoder.h): RGB re-correlated and
// interleaved, YUV and luma planes copied, 16-bit samples shifted back to high alignment unless
// the caller asked for low-aligned values.
#ifndef PARVOLUX_COMMON64_DECODER_ROW_SCATTERER_H
#define PARVOLUX_COMMON64_DECODER_ROW_SCATTERER_H

#include <cstdint>

#include "platform/parvolux_common64/format/frame_geometry.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

namespace parvolux {

// The output layout of a stream.
ParvoluxOutputLayout outputLayout(const StreamGeometry& geometry, bool lowAligned);

template <class S>
class RowScatterer {
public:
    // planes were checked against outputLayout().
    RowScatterer(const StreamGeometry& geometry, const ParvoluxOutputPlane* planes,
                 bool lowAligned);

    // A YUV or luma stream's plane p over the slice: planeWidth[p] samples a row.
    void writePlane(uint32_t slice, unsigned plane, const S* rows) const;
    // An RGB stream's slice: slicePlanes[p] holds the rows of coded plane p.
    void writeRgb(uint32_t slice, const S* const slicePlanes[4]) const;

private:
    uint8_t* outRow(unsigned plane, uint32_t row) const {
        return static_cast<uint8_t*>(m_planes[plane].data) + size_t{row} * m_planes[plane].stride;
    }
    template <unsigned kChannels>
    void writeRgbRows(uint32_t slice, const S* const slicePlanes[4]) const;

    const StreamGeometry& m_geometry;
    const ParvoluxOutputPlane* m_planes;
    unsigned m_shift;
};

}  // namespace parvolux

#endif
