// Decodes the packets of one stream, slice by slice: chunks to residuals, residuals to samples,
// samples into the caller's output planes. Checks the packet's header and chunk sizes against
// the stream before touching any chunk.
#ifndef PARVOLUX_COMMON64_DECODER_FRAME_DECODER_H
#define PARVOLUX_COMMON64_DECODER_FRAME_DECODER_H

#include <cstdint>
#include <vector>

#include "platform/parvolux_common64/decoder/chunk_decoder.h"
#include "platform/parvolux_common64/decoder/row_scatterer.h"
#include "platform/parvolux_common64/format/frame_geometry.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

namespace parvolux {

class FrameDecoder {
public:
    // geometry's slice count is ignored; each packet names its own.
    FrameDecoder(const StreamGeometry& geometry, bool lowAligned);

    ParvoluxOutputLayout layout() const { return outputLayout(m_geometry, m_lowAligned); }

    // Status: kOk, kBadArgument for planes that do not fit the layout, kFailed for a corrupt
    // packet. Throws std::bad_alloc.
    int32_t decode(const uint8_t* packet, uint64_t size, const ParvoluxOutputPlane* planes);

private:
    template <class S>
    bool decodeSlices(const uint8_t* packet, const ParvoluxOutputPlane* planes);
    bool planesFit(const ParvoluxOutputPlane* planes) const;

    StreamGeometry m_geometry;
    StreamGeometry m_packet;  // the geometry with the current packet's slice count
    bool m_lowAligned;
    std::vector<uint64_t> m_chunkOffsets;
    std::vector<uint32_t> m_chunkSizes;
    std::vector<uint8_t> m_residuals8, m_samples8;
    std::vector<uint16_t> m_residuals16, m_samples16;
    ChunkDecoder m_chunks;
};

}  // namespace parvolux

#endif
