#pragma once
// Little-endian field access into a byte buffer whose length the caller has already checked.

#include <cstdint>

namespace avireader {

[[nodiscard]] inline uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

[[nodiscard]] inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

[[nodiscard]] inline uint64_t le64(const uint8_t* p) {
    return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32;
}

}  // namespace avireader
