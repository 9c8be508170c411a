// Reads a least-significant-bit-first stream of a known byte size through a 64-bit buffer.
// After refill() the buffer holds at least 56 bits at the position; take as many before the
// next refill. refillFast() loads a whole word and may be called only while canRefillFast();
// refill() reads zeros past the end, so a corrupt stream is never read out of bounds, and a
// position past the real bits tells that the stream ran out.
#ifndef PARVOLUX_COMMON64_ENTROPY_BIT_READER_H
#define PARVOLUX_COMMON64_ENTROPY_BIT_READER_H

#include <cstddef>
#include <cstdint>

#include "platform/parvolux_common64/common/byte_io.h"

namespace parvolux {

class BitReader {
public:
    BitReader() = default;
    BitReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool canRefillFast() const { return m_next + 8 <= m_size; }
    // Bits above the count already hold the bytes a later load would put there, so one
    // unconditional load and OR suffice.
    void refillFast() {
        m_bits |= load64(m_data + m_next) << m_count;
        advance();
    }
    void refill() {
        if (canRefillFast()) return refillFast();
        uint64_t word = 0;
        for (size_t i = m_next; i < m_size && i < m_next + 8; ++i)
            word |= uint64_t{m_data[i]} << (8 * (i - m_next));
        m_bits |= word << m_count;
        advance();
    }
    uint64_t bits() const { return m_bits; }
    void consume(unsigned count) {
        m_bits >>= count;
        m_count -= count;
    }
    size_t position() const { return m_next * 8 - m_count; }

private:
    void advance() {
        m_next += (63 - m_count) >> 3;
        m_count |= 56;
    }

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_next = 0;  // the byte the next refill loads
    uint64_t m_bits = 0;
    unsigned m_count = 0;  // bits of m_bits not yet consumed
};

}  // namespace parvolux

#endif
