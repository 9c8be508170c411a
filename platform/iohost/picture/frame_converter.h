// Turns frames as files store them (PictureFormat) into the raw layout a codec takes.
//
// Lossless wherever the codec keeps the samples: planes are copied, 8-bit 4:2:2 is interleaved
// into UYVY, samples above 8 bits are high-aligned (v << (16 - depth)), 4:2:0 chroma reaches a
// 4:2:2 layout by repeating each chroma row (the 4:2:0 codecs average the pair back to the same
// value), and mono pictures get neutral chroma. Anything else is refused at construction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/iohost/picture/picture_format.h"

namespace iohost {

class FrameConverter {
public:
    // The converter from `source` to `target`, or nullopt with the reason in `why`.
    [[nodiscard]] static std::optional<FrameConverter> make(const PictureFormat& source,
                                                            RawLayout target, std::string& why);

    [[nodiscard]] uint64_t sourceBytes() const { return m_source.frameBytes(); }
    [[nodiscard]] uint64_t targetBytes() const {
        return RawFrameBytes(m_target, m_source.width, m_source.height);
    }
    // `src` holds sourceBytes(), `dst` room for targetBytes().
    void convert(const uint8_t* src, uint8_t* dst) const;

private:
    FrameConverter(const PictureFormat& source, RawLayout target)
        : m_source(source), m_target(target) {}

    PictureFormat m_source;
    RawLayout m_target;
};

}  // namespace iohost
