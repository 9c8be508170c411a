// Reads a least-significant-bit-first stream of a known byte size. peek() answers at least 57
// valid bits at the position; beyond the end it reads zeros, so a corrupt stream is never read
// out of bounds, and overrun() tells that the position went past the real bits.
#ifndef PARVOLUX_COMMON64_ENTROPY_BIT_READER_H
#define PARVOLUX_COMMON64_ENTROPY_BIT_READER_H

#include <cstddef>
#include <cstdint>

#include "platform/parvolux_common64/common/byte_io.h"

namespace parvolux {

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint64_t peek() const {
        const size_t byte = m_pos >> 3;
        if (byte + 8 <= m_size) return load64(m_data + byte) >> (m_pos & 7);
        uint64_t v = 0;
        for (size_t i = byte; i < m_size && i < byte + 8; ++i)
            v |= uint64_t{m_data[i]} << (8 * (i - byte));
        return v >> (m_pos & 7);
    }
    void skip(unsigned bits) { m_pos += bits; }
    bool overrun() const { return m_pos > m_size * 8; }
    size_t position() const { return m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

}  // namespace parvolux

#endif
