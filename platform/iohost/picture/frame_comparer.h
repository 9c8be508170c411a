// Compares decoded frames with the source they were made from, sample by sample, at the
// source's full precision: both sides are brought to 16-bit high-aligned values and compared
// whole, so a file that keeps fewer bits than the source can never pass. A mono side compares
// luma only. Reports the first difference.
#pragma once

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

    // Empty when equal, else "plane U, x 3, y 7: source 120, decoded 121".
    [[nodiscard]] std::string compare(const uint8_t* source, const uint8_t* decoded) const;

private:
    FrameComparer(const PictureFormat& source, const PictureFormat& decoded, unsigned components);

    // Whether equal bytes mean equal samples for this frame.
    [[nodiscard]] bool sameBytesDecide(const uint8_t* source) const;

    PictureFormat m_source;
    PictureFormat m_decoded;
    unsigned m_components;
    bool m_sameLayout = false;  // one layout on both sides, settled once
};

}  // namespace iohost
