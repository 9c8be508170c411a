// Reads a least-significant-bit-first stream of a known byte size through a 64-bit buffer.
// After refill() the buffer holds at least 56 bits at the position; take as many before the
// next refill. refillFast() loads a whole word and may be called only while canRefillFast().
// Past the end refill() reads what follows the stream where the caller says it may be read (the
// slack), zeros beyond it, so a corrupt stream is never read out of bounds; either way a
// position past the real bits tells that the stream ran out, and a stream that does not run out
// never takes a bit past its end, so what follows it cannot change what it decodes.
#ifndef PARVOLUX_COMMON64_ENTROPY_BIT_READER_H
#define PARVOLUX_COMMON64_ENTROPY_BIT_READER_H

#include <cstddef>
#include <cstdint>

#include "platform/parvolux_common64/common/byte_io.h"

namespace parvolux {

// The part of the reader a decoding loop keeps in registers: the buffer, its count and the next
// byte to load.
struct BitWindow {
    uint64_t bits = 0;
    unsigned count = 0;  // bits of `bits` not yet consumed
    const uint8_t* next = nullptr;

    // Bits above the count already hold the bytes a later load would put there, so one
    // unconditional load and OR suffice. Needs eight readable bytes at `next`.
    void refillFast() {
        bits |= load64(next) << count;
        next += (63 - count) >> 3;
        count |= 56;
    }
    void consume(unsigned n) {
        bits >>= n;
        count -= n;
    }
};

class BitReader {
public:
    BitReader() = default;
    // `slack` bytes after the stream may be read too.
    BitReader(const uint8_t* data, size_t size, size_t slack = 0)
        : m_begin(data), m_readable(data + size + slack) {
        m_window.next = data;
    }

    // Bytes that may be read from `window`'s next load on; refillFast() needs eight.
    size_t bytesAfter(const BitWindow& window) const {
        return static_cast<size_t>(m_readable - window.next);
    }
    bool canRefillFast() const { return bytesAfter(m_window) >= 8; }
    void refillFast() { m_window.refillFast(); }
    void refill() {
        if (canRefillFast()) return refillFast();
        const uint8_t* next = m_window.next;
        uint64_t word = 0;
        for (const uint8_t* p = next; p < m_readable && p < next + 8; ++p)
            word |= uint64_t{*p} << (8 * (p - next));
        m_window.bits |= word << m_window.count;
        // The pointer stops where reading must; the bytes of zeros read past it are counted
        // instead.
        const size_t step = (63 - m_window.count) >> 3;
        const auto room = static_cast<size_t>(m_readable - next);
        m_window.next += step < room ? step : room;
        m_past += step < room ? 0 : step - room;
        m_window.count |= 56;
    }
    uint64_t bits() const { return m_window.bits; }
    void consume(unsigned count) { m_window.consume(count); }
    size_t position() const {
        return (static_cast<size_t>(m_window.next - m_begin) + m_past) * 8 - m_window.count;
    }

    // For loops that keep the window in registers between refills of their own.
    BitWindow& window() { return m_window; }
    const BitWindow& window() const { return m_window; }

private:
    BitWindow m_window;
    const uint8_t* m_begin = nullptr;
    const uint8_t* m_readable = nullptr;  // the end of what may be read
    size_t m_past = 0;                    // bytes of zeros read past it
};

}  // namespace parvolux

#endif
