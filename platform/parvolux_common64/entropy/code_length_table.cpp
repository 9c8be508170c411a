#include "platform/parvolux_common64/entropy/code_length_table.h"

namespace parvolux {
namespace {

size_t leb128Size(uint32_t v) {
    size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

template <class Emit>
void forEachRun(const uint8_t* lengths, uint32_t alphabet, Emit emit) {
    for (uint32_t s = 0; s < alphabet;) {
        uint32_t run = 1;
        while (s + run < alphabet && lengths[s + run] == lengths[s]) ++run;
        emit(lengths[s], run);
        s += run;
    }
}

}  // namespace

size_t codeLengthTableSize(const uint8_t* lengths, uint32_t alphabet) {
    size_t size = 0;
    forEachRun(lengths, alphabet,
               [&](uint8_t, uint32_t run) { size += 1 + (run > 7 ? leb128Size(run - 8) : 0); });
    return size;
}

size_t writeCodeLengths(const uint8_t* lengths, uint32_t alphabet, uint8_t* out) {
    uint8_t* p = out;
    forEachRun(lengths, alphabet, [&](uint8_t length, uint32_t run) {
        if (run <= 7) {
            *p++ = static_cast<uint8_t>(length | ((run - 1) << 5));
            return;
        }
        *p++ = static_cast<uint8_t>(length | (7u << 5));
        uint32_t rest = run - 8;
        while (rest >= 0x80) {
            *p++ = static_cast<uint8_t>(rest | 0x80);
            rest >>= 7;
        }
        *p++ = static_cast<uint8_t>(rest);
    });
    return static_cast<size_t>(p - out);
}

size_t readCodeLengths(const uint8_t* in, size_t size, uint32_t alphabet, unsigned maxLength,
                       uint8_t* lengths) {
    size_t pos = 0;
    for (uint32_t s = 0; s < alphabet;) {
        if (pos >= size) return 0;
        const uint8_t head = in[pos++];
        const uint8_t length = head & 31;
        uint64_t run = (head >> 5) + 1u;
        if (run == 8) {
            uint64_t rest = 0;
            for (unsigned shift = 0;; shift += 7) {
                if (pos >= size || shift > 28) return 0;
                const uint8_t b = in[pos++];
                rest |= uint64_t{b & 0x7Fu} << shift;
                if ((b & 0x80) == 0) break;
            }
            run += rest;
        }
        if (length > maxLength || run > alphabet - s) return 0;
        for (uint64_t i = 0; i < run; ++i) lengths[s++] = length;
    }
    return pos;
}

}  // namespace parvolux
