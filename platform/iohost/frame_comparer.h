// Compares decoded frames with the source they were made from, sample by sample, to the
// precision the codec keeps: both sides are brought to 16-bit high-aligned values and their top
// `bits` compared. A mono side compares luma only. Reports the first difference.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/iohost/picture_format.h"

namespace iohost {

class FrameComparer {
public:
    // nullopt (with the reason in `why`) when the two layouts cannot be compared.
    [[nodiscard]] static std::optional<FrameComparer> make(const PictureFormat& source,
                                                           const PictureFormat& decoded,
                                                           uint32_t bits, std::string& why);

    // Empty when equal, else "plane U, x 3, y 7: source 120, decoded 121".
    [[nodiscard]] std::string compare(const uint8_t* source, const uint8_t* decoded) const;

private:
    FrameComparer(const PictureFormat& source, const PictureFormat& decoded, uint32_t bits,
                  unsigned planes)
        : m_source(source), m_decoded(decoded), m_bits(bits), m_planes(planes) {}

    PictureFormat m_source;
    PictureFormat m_decoded;
    uint32_t m_bits;
    unsigned m_planes;
};

}  // namespace iohost
