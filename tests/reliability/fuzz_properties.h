// Turns fuzz bytes into what a careless or hostile host could hand the plug-in: property
// collections and buffers whose keys come from the plug-in's own vocabulary or are random, with
// any type code, any count (zero included), values that are negative, zero or huge, frame rates of
// 0/0 or 1/0, and byte blocks of any size. Reading past the end of the input yields zeros, so any
// byte string decodes to something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/iohost/host_objects.h"

namespace reliability {

class FuzzReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    [[nodiscard]] uint8_t u8();
    [[nodiscard]] uint32_t u32();
    [[nodiscard]] bool done() const { return m_pos >= m_size; }
    // Up to `max` bytes straight from the input.
    [[nodiscard]] std::vector<uint8_t> bytes(size_t max);
    // A 32-bit value biased towards the ones that break arithmetic: 0, 1, -1, INT32_MIN, 2^31-1,
    // 65535, 65536, and small numbers, else anything.
    [[nodiscard]] uint32_t interesting();

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Sets up to `maxEntries` fuzzed properties on `store`. Keys mostly from `keys`.
void FillProperties(FuzzReader& in, iohost::PropertyStore& store,
                    const std::vector<std::string>& keys, int maxEntries);

// The keys that the encoder and the container read.
[[nodiscard]] const std::vector<std::string>& PluginKeys();

}  // namespace reliability
