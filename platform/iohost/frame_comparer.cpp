#include "platform/iohost/frame_comparer.h"

#include <algorithm>

namespace iohost {

namespace {

// The sample as a 16-bit high-aligned value: planar deep samples are low-aligned in files,
// packed 16-bit ones already high-aligned.
uint32_t Normalised(const PictureFormat& f, const uint8_t* p) {
    if (f.bitDepth == 8) return uint32_t{*p} << 8;
    const uint32_t v = p[0] | (uint32_t{p[1]} << 8);
    return f.packing == Packing::Planar ? (v << (16 - f.bitDepth)) & 0xFFFF : v;
}

const char* PlaneName(const PictureFormat& f, unsigned plane) {
    if (f.packing != Packing::Planar) return "RGB";
    return plane == 0 ? "Y" : plane == 1 ? "U" : "V";
}

}  // namespace

std::optional<FrameComparer> FrameComparer::make(const PictureFormat& source,
                                                 const PictureFormat& decoded, uint32_t bits,
                                                 std::string& why) {
    if (source.width != decoded.width || source.height != decoded.height) {
        why = "the source is " + std::to_string(source.width) + "x" +
              std::to_string(source.height) + ", the file " + std::to_string(decoded.width) + "x" +
              std::to_string(decoded.height);
        return std::nullopt;
    }
    const bool sourcePlanar = source.packing == Packing::Planar;
    if (sourcePlanar != (decoded.packing == Packing::Planar) ||
        (!sourcePlanar && source.packing != decoded.packing)) {
        why = "the source is " + source.pixelFormatName() + ", the file decodes to " +
              decoded.pixelFormatName();
        return std::nullopt;
    }
    unsigned planes = decoded.planeCount();
    if (sourcePlanar && (source.chroma == Chroma::Mono || decoded.chroma == Chroma::Mono)) {
        planes = 1;
    } else if (sourcePlanar && source.chroma != decoded.chroma) {
        why = "the source is " + source.pixelFormatName() + ", the file decodes to " +
              decoded.pixelFormatName();
        return std::nullopt;
    }
    bits = std::min({bits, source.bitDepth, decoded.bitDepth});
    return FrameComparer(source, decoded, bits, planes);
}

std::string FrameComparer::compare(const uint8_t* source, const uint8_t* decoded) const {
    const uint32_t drop = 16 - m_bits;
    for (unsigned plane = 0; plane < m_planes; ++plane) {
        const PlaneSize size = m_decoded.plane(plane);
        const uint32_t sb = m_source.bytesPerSample(), db = m_decoded.bytesPerSample();
        const uint64_t samples = uint64_t{size.width} * size.height * size.components;
        for (uint64_t i = 0; i < samples; ++i) {
            const uint32_t a = Normalised(m_source, source + i * sb) >> drop;
            const uint32_t b = Normalised(m_decoded, decoded + i * db) >> drop;
            if (a != b) {
                const uint64_t pixel = i / size.components;
                return std::string("plane ") + PlaneName(m_decoded, plane) + ", x " +
                       std::to_string(pixel % size.width) + ", y " +
                       std::to_string(pixel / size.width) + ": source " + std::to_string(a) +
                       ", decoded " + std::to_string(b) + " (top " + std::to_string(m_bits) +
                       " bits)";
            }
        }
        source += m_source.planeBytes(plane);
        decoded += m_decoded.planeBytes(plane);
    }
    return {};
}

}  // namespace iohost
