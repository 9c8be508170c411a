// Compares decoded frames with the source they were made from, sample by sample, at the
// source's full precision: both sides are brought to 16-bit high-aligned values and compared
// whole, so a file that keeps fewer bits than the source can never pass. A mono side compares
// luma only. Reports the first difference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/iohost/picture/picture_format.h"

namespace iohost {

class FrameComparer {
public:
    // nullopt (with the reason in `why`) when the two layouts cannot be compared, or when the
    // file keeps fewer than the source's bits per sample (`fileBits`).
    [[nodiscard]] static std::optional<FrameComparer> make(const PictureFormat& source,
                                                           const PictureFormat& decoded,
                                                           uint32_t fileBits, std::string& why);

    // One frame's comparison fed the source's bytes as they arrive (VideoSource::readInPieces),
    // so that each piece is compared while the processor still holds it in its cache.
    class Pass {
    public:
        Pass(const FrameComparer& comparer, const uint8_t* source, const uint8_t* decoded)
            : m_comparer(comparer),
              m_source(source),
              m_decoded(decoded),
              m_bytesEqual(comparer.m_sameLayout) {}
        void arrived(size_t begin, size_t end);
        // Once every byte of the source has arrived: empty when equal, else "plane U, x 3, y 7:
        // source 120, decoded 121".
        [[nodiscard]] std::string result() const;

    private:
        const FrameComparer& m_comparer;
        const uint8_t* m_source;
        const uint8_t* m_decoded;
        bool m_bytesEqual;  // every byte so far, where one layout makes that meaningful
    };

private:
    FrameComparer(const PictureFormat& source, const PictureFormat& decoded, unsigned components);

    // Whether equal bytes mean equal samples for this frame.
    [[nodiscard]] bool sameBytesDecide(const uint8_t* source) const;
    // Sample by sample, naming the first difference.
    [[nodiscard]] std::string walk(const uint8_t* source, const uint8_t* decoded) const;

    PictureFormat m_source;
    PictureFormat m_decoded;
    unsigned m_components;
    bool m_sameLayout = false;  // one layout on both sides, settled once
};

}  // namespace iohost
