#include "platform/parvolux_common64/api/encoder_instance.h"

#include "platform/parvolux_common64/common/status.h"
#include "platform/parvolux_common64/format/frame_geometry.h"

namespace parvolux {

uint32_t formatCodeOf(const FrameFormat& format) {
    return format.formatCode == parvoluxFormatExtended ? format.pixelFormat : format.formatCode;
}

int32_t resolveStream(const FrameFormat& in, const FrameFormat& out, const StreamFormat*& stream) {
    stream = findPair(formatCodeOf(in), formatCodeOf(out));
    return stream != nullptr ? kOk : kUnsupportedFormat;
}

int32_t EncoderInstance::begin(const FrameFormat& in, const FrameFormat& out, Predictor predictor) {
    const StreamFormat* stream = nullptr;
    if (const int32_t status = resolveStream(in, out, stream); status != kOk) return status;
    StreamGeometry geometry;
    RawGeometry raw;
    if (!makeStreamGeometry(*stream, in.width, in.height, 0, geometry) ||
        !makeRawGeometry(findRawFormat(stream->rawCode)->layout, in.width, in.height, raw))
        return kBadSize;
    m_encoder.reset();
    m_encoder = std::make_unique<FrameEncoder>(geometry);
    m_encoder->setPredictor(predictor);
    for (int i = 0; i < 4; ++i) m_cookie[i] = static_cast<uint8_t>(stream->fourcc[i]);
    m_cookie[4] = kBitstreamVersion;
    m_cookie[5] = static_cast<uint8_t>(stream->code);
    m_cookie[6] = 0;
    m_cookie[7] = 0;
    return kOk;
}

int32_t EncoderInstance::compress(const FramePlanes& planes, void* out, uint32_t& outSize,
                                  ThreadPool* pool, unsigned threads) {
    const StreamGeometry& g = m_encoder->geometry();
    RawGeometry raw;
    if (!makeRawGeometry(findRawFormat(g.format->rawCode)->layout, g.width, g.height, raw))
        return kBadSize;
    for (unsigned p = 0; p < raw.planeCount; ++p) {
        const FramePlane& plane = planes.plane[p];
        const RawPlaneSize& need = raw.plane[p];
        if (plane.data == nullptr || plane.aux < need.rowBytes ||
            plane.byteCount < uint64_t{plane.aux} * (need.rows - 1) + need.rowBytes)
            return kBadArgument;
    }
    outSize = m_encoder->encode(planes, static_cast<uint8_t*>(out), pool, threads);
    return kOk;
}

int32_t initPlanes(const FrameFormat& in, const void* raw, FramePlanes& planes) {
    const RawFormat* format = findRawFormat(formatCodeOf(in));
    if (format == nullptr) return kUnsupportedFormat;
    RawGeometry geometry;
    if (!makeRawGeometry(format->layout, in.width, in.height, geometry)) return kBadSize;
    planes = FramePlanes{};
    const auto* p = static_cast<const uint8_t*>(raw);
    for (unsigned i = 0; i < geometry.planeCount; ++i) {
        planes.plane[i] = {p, geometry.plane[i].rowBytes, geometry.plane[i].byteCount};
        p += geometry.plane[i].byteCount;
    }
    return kOk;
}

}  // namespace parvolux
