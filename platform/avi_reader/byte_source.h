#pragma once
// Random access to the bytes the reader walks: a file on disk or a buffer in memory (the fuzzer and
// the tests). Reads past the end are short, never an error; the reader decides what that means.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace avireader {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    [[nodiscard]] virtual uint64_t size() const = 0;
    // Copies up to `count` bytes from `offset` into `dst`; answers how many were copied.
    [[nodiscard]] virtual size_t read(uint64_t offset, void* dst, size_t count) = 0;
};

// Borrows the buffer; it must outlive the source.
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    [[nodiscard]] uint64_t size() const override { return m_size; }

    [[nodiscard]] size_t read(uint64_t offset, void* dst, size_t count) override {
        if (offset >= m_size || count == 0) return 0;
        const size_t n = count < m_size - offset ? count : size_t(m_size - offset);
        std::memcpy(dst, m_data + offset, n);
        return n;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
};

}  // namespace avireader
