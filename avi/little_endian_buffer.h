// Builds an on-disk record field by field, little-endian, whatever the host's byte order, so that
// every structure is written as bytes and never as a copied struct. clear() keeps the storage, so
// one buffer reused per record type costs no allocation in the steady state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

class LittleEndianBuffer {
public:
    LittleEndianBuffer() = default;
    explicit LittleEndianBuffer(size_t capacity) { bytes.reserve(capacity); }

    void clear() { bytes.clear(); }
    void reserve(size_t capacity) { bytes.reserve(capacity); }

    void put8(uint8_t v) { bytes.push_back(v); }
    void put16(uint16_t v) { putLE(v, 2); }
    void put32(uint32_t v) { putLE(v, 4); }
    void put64(uint64_t v) { putLE(v, 8); }
    void putFourCC(uint32_t v) { putLE(v, 4); }
    void putBytes(const void* data, size_t count) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + count);
    }
    void putZeros(size_t count) { bytes.resize(bytes.size() + count, 0); }

    [[nodiscard]] const uint8_t* data() const { return bytes.data(); }
    [[nodiscard]] size_t size() const { return bytes.size(); }
    [[nodiscard]] std::span<const uint8_t> view() const { return bytes; }
    [[nodiscard]] std::vector<uint8_t> take() { return std::move(bytes); }

private:
    void putLE(uint64_t v, int width) {
        for (int i = 0; i < width; ++i) {
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }

    std::vector<uint8_t> bytes;
};
