// Reads an on-disk record field by field, little-endian, the counterpart of LittleEndianBuffer.
// The caller hands over a buffer that holds the whole record; reading past it is a logic error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

class LittleEndianReader {
public:
    explicit LittleEndianReader(std::span<const uint8_t> bytes) : bytes(bytes) {}

    uint8_t get8() { return static_cast<uint8_t>(getLE(1)); }
    uint16_t get16() { return static_cast<uint16_t>(getLE(2)); }
    uint32_t get32() { return static_cast<uint32_t>(getLE(4)); }
    uint64_t get64() { return getLE(8); }

private:
    uint64_t getLE(size_t width) {
        if (bytes.size() - next < width) {
            throw std::logic_error("LittleEndianReader: read past the end of the record");
        }
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) {
            v |= uint64_t{bytes[next + i]} << (8 * i);
        }
        next += width;
        return v;
    }

    std::span<const uint8_t> bytes;
    size_t next = 0;
};
