// Writes codes least significant bit first through a 64-bit accumulator. put() only adds to the
// accumulator; the caller flushes often enough that it holds at most 63 bits: after a flush at
// most 7 bits remain, so two codes of up to 28 bits fit between flushes. A flush stores
// a whole 64-bit word, so the output needs 8 writable bytes beyond the last byte it keeps.
#ifndef PARVOLUX_COMMON64_ENTROPY_BIT_WRITER_H
#define PARVOLUX_COMMON64_ENTROPY_BIT_WRITER_H

#include <cstdint>

#include "platform/parvolux_common64/common/byte_io.h"

namespace parvolux {

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : m_out(out) {}

    void put(uint64_t bits, unsigned count) {
        m_acc |= bits << m_count;
        m_count += count;
    }
    void flush() {
        store64(m_out, m_acc);
        m_out += m_count >> 3;
        m_acc >>= m_count & ~7u;
        m_count &= 7;
    }
    // Flushes the rest; answers the end of the last byte written.
    uint8_t* finish() {
        flush();
        return m_out + (m_count != 0 ? 1 : 0);
    }

private:
    uint8_t* m_out;
    uint64_t m_acc = 0;
    unsigned m_count = 0;
};

}  // namespace parvolux

#endif
