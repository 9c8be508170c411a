#include "platform/parvolux_common64/decoder/frame_decoder.h"

#include "platform/parvolux_common64/common/byte_io.h"
#include "platform/parvolux_common64/common/status.h"
#include "platform/parvolux_common64/decoder/row_scatterer.h"
#include "platform/parvolux_common64/format/packet_format.h"
#include "platform/parvolux_common64/format/predictor.h"

namespace parvolux {
namespace {

template <class S>
std::vector<S>& pick(std::vector<uint8_t>& v8, std::vector<uint16_t>& v16) {
    if constexpr (sizeof(S) == 1)
        return v8;
    else
        return v16;
}

}  // namespace

FrameDecoder::FrameDecoder(const StreamGeometry& geometry, bool lowAligned)
    : m_geometry(geometry), m_packet(geometry), m_lowAligned(lowAligned) {}

bool FrameDecoder::planesFit(const ParvoluxOutputPlane* planes) const {
    const ParvoluxOutputLayout l = layout();
    for (unsigned p = 0; p < l.planeCount; ++p) {
        const ParvoluxPlaneLayout& pl = l.plane[p];
        if (planes[p].data == nullptr || planes[p].stride < pl.rowBytes) return false;
        if (planes[p].byteCount < uint64_t{planes[p].stride} * (pl.height - 1) + pl.rowBytes)
            return false;
    }
    return true;
}

template <class S>
bool FrameDecoder::decodeSlices(const uint8_t* packet, const ParvoluxOutputPlane* planes) {
    const StreamGeometry& g = m_packet;
    const unsigned bits = g.format->bits;
    const S mask = static_cast<S>((1u << bits) - 1);
    size_t perSlice = 0;
    for (unsigned p = 0; p < g.planes; ++p) perSlice += size_t{g.planeWidth[p]} * g.maxSliceRows[p];
    std::vector<S>& residuals = pick<S>(m_residuals8, m_residuals16);
    std::vector<S>& samples = pick<S>(m_samples8, m_samples16);
    residuals.resize(perSlice);
    samples.resize(perSlice);

    RowScatterer<S> scatterer(g, planes, m_lowAligned);
    for (uint32_t s = 0; s < g.sliceCount; ++s) {
        const S* slicePlanes[4] = {};
        size_t offset = 0;
        for (unsigned p = 0; p < g.planes; ++p) {
            const uint32_t w = g.planeWidth[p], rows = g.sliceRows(p, s);
            const size_t chunk = size_t{s} * g.planes + p;
            S* res = residuals.data() + offset;
            S* out = samples.data() + offset;
            Predictor predictor{};
            if (!m_chunks.decode(packet + m_chunkOffsets[chunk], m_chunkSizes[chunk],
                                 size_t{w} * rows, bits, res, predictor))
                return false;
            for (uint32_t r = 0; r < rows; ++r)
                unpredictRow(predictor, res + size_t{r} * w,
                             r == 0 ? nullptr : out + size_t{r - 1} * w, w, mask,
                             out + size_t{r} * w);
            slicePlanes[p] = out;
            offset += size_t{w} * g.maxSliceRows[p];
        }
        scatterer.writeSlice(s, slicePlanes);
    }
    return true;
}

int32_t FrameDecoder::decode(const uint8_t* packet, uint64_t size,
                             const ParvoluxOutputPlane* planes) {
    if (planes == nullptr || !planesFit(planes)) return kBadArgument;
    if (packet == nullptr || size < kFrameHeaderFixed) return kFailed;
    if (packet[0] != kBitstreamVersion || packet[1] != m_geometry.planes) return kFailed;
    const uint32_t slices = get16(packet + 2);
    if (slices == 0 || slices > m_geometry.groupCount) return kFailed;
    if (slices != m_packet.sliceCount && !makeStreamGeometry(*m_geometry.format, m_geometry.width,
                                                             m_geometry.height, slices, m_packet))
        return kFailed;

    const size_t chunks = size_t{slices} * m_packet.planes;
    const uint64_t header = kFrameHeaderFixed + uint64_t{kChunkSizeField} * chunks;
    if (size < header) return kFailed;
    m_chunkOffsets.resize(chunks);
    m_chunkSizes.resize(chunks);
    uint64_t offset = header;
    for (size_t i = 0; i < chunks; ++i) {
        m_chunkSizes[i] = get32(packet + kFrameHeaderFixed + kChunkSizeField * i);
        m_chunkOffsets[i] = offset;
        offset += m_chunkSizes[i];
    }
    if (offset != size) return kFailed;
    const bool ok = m_packet.format->bits == 8 ? decodeSlices<uint8_t>(packet, planes)
                                               : decodeSlices<uint16_t>(packet, planes);
    return ok ? kOk : kFailed;
}

}  // namespace parvolux
