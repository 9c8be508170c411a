// A FourCC as the AVI layer keeps it: a uint32_t whose bytes, least significant first, are the four
// characters in file order, so fourCC("RIFF") == 0x46464952 and put32 writes "RIFF".
#pragma once

#include <cstdint>

constexpr uint32_t fourCC(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<unsigned char>(text[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}

constexpr uint32_t fourCC(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t{b0} | uint32_t{b1} << 8 | uint32_t{b2} << 16 | uint32_t{b3} << 24;
}
