#include "platform/iohost/picture/frame_comparer.h"

#include <cstring>

namespace iohost {

namespace {

const char* ComponentName(const PictureFormat& f, unsigned c) {
    static constexpr const char* kYuv[] = {"Y", "U", "V"};
    static constexpr const char* kRgb[] = {"R", "G", "B", "A"};
    return f.isRgb() ? kRgb[c] : kYuv[c];
}

}  // namespace

std::optional<FrameComparer> FrameComparer::make(const PictureFormat& source,
                                                 const PictureFormat& decoded, uint32_t fileBits,
                                                 std::string& why) {
    if (source.width != decoded.width || source.height != decoded.height) {
        why = "the source is " + std::to_string(source.width) + "x" +
              std::to_string(source.height) + ", the file " + std::to_string(decoded.width) + "x" +
              std::to_string(decoded.height);
        return std::nullopt;
    }
    const bool mono = !source.isRgb() && !decoded.isRgb() &&
                      (source.chroma == Chroma::Mono || decoded.chroma == Chroma::Mono);
    if (source.isRgb() != decoded.isRgb() ||
        (!mono && (source.componentCount() != decoded.componentCount() ||
                   (!source.isRgb() && source.chroma != decoded.chroma)))) {
        why = "the source is " + source.pixelFormatName() + ", the file decodes to " +
              decoded.pixelFormatName();
        return std::nullopt;
    }
    if (fileBits < source.bitDepth) {
        why = "the file keeps " + std::to_string(fileBits) + " bits per sample, the source has " +
              std::to_string(source.bitDepth) + ": it is not lossless";
        return std::nullopt;
    }
    return FrameComparer(source, decoded, mono ? 1 : decoded.componentCount());
}

FrameComparer::FrameComparer(const PictureFormat& source, const PictureFormat& decoded,
                             unsigned components)
    : m_source(source), m_decoded(decoded), m_components(components) {
    m_sameLayout = m_components == m_source.componentCount() &&
                   m_components == m_decoded.componentCount() &&
                   m_source.frameBytes() == m_decoded.frameBytes();
    for (unsigned c = 0; m_sameLayout && c < m_components; ++c) {
        const ComponentLayout s = m_source.component(c), d = m_decoded.component(c);
        m_sameLayout = s.offset == d.offset && s.count == d.count && s.step == d.step &&
                       s.bytes == d.bytes && s.shift == d.shift;
    }
}

bool FrameComparer::sameBytesDecide(const uint8_t* source) const {
    // Equal bytes are equal samples unless a source sample has bits above its depth, which only
    // shifted 16-bit words can hold.
    return m_sameLayout && (m_source.bytesPerSample() == 1 || m_source.bitDepth == 16 ||
                            SampleAboveDepth(m_source, source).empty());
}

void FrameComparer::Pass::arrived(size_t begin, size_t end) {
    m_bytesEqual =
        m_bytesEqual && std::memcmp(m_source + begin, m_decoded + begin, end - begin) == 0;
}

std::string FrameComparer::Pass::result() const {
    // The common case, one layout on both sides, as memcmp; the sample walk finds and names a
    // difference.
    if (m_bytesEqual && m_comparer.sameBytesDecide(m_source)) return {};
    return m_comparer.walk(m_source, m_decoded);
}

std::string FrameComparer::walk(const uint8_t* source, const uint8_t* decoded) const {
    for (unsigned c = 0; c < m_components; ++c) {
        const ComponentLayout s = m_source.component(c), d = m_decoded.component(c);
        for (uint64_t i = 0; i < d.count; ++i) {
            // The source's value as stored, unmasked: bits above its depth make a difference.
            const uint32_t a = s.stored(source, i) << s.shift, b = d.load(decoded, i);
            if (a == b) continue;
            const uint32_t width = m_decoded.plane(m_decoded.isRgb() ? 0 : c).width;
            // Values as the source stores them.
            return std::string("plane ") + ComponentName(m_decoded, c) + ", x " +
                   std::to_string(i % width) + ", y " + std::to_string(i / width) + ": source " +
                   std::to_string(a >> s.shift) + ", decoded " + std::to_string(b >> s.shift);
        }
    }
    return {};
}

}  // namespace iohost
