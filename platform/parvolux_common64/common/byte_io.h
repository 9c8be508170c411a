// Little-endian loads and stores on byte buffers. memcpy keeps them free of alignment and
// aliasing trouble; compilers turn each into one move on x86-64.
#ifndef PARVOLUX_COMMON64_COMMON_BYTE_IO_H
#define PARVOLUX_COMMON64_COMMON_BYTE_IO_H

#include <cstdint>
#include <cstring>

namespace parvolux {

inline void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t get16(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8);
}

inline uint32_t get32(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Raw 64-bit word; the codec only runs on little-endian hosts.
inline uint64_t load64(const void* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store64(void* p, uint64_t v) {
    std::memcpy(p, &v, sizeof v);
}

}  // namespace parvolux

#endif
