// Turns fuzz bytes into what a careless or hostile host could hand the plug-in: property
// collections and buffers whose keys come from the plug-in's own vocabulary or are random, with
// any type code, any count (zero included), values that are negative, zero or huge, and byte
// blocks of any size. Reading past the end of the input yields zeros, so any byte string decodes.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "platform/iohost/host/host_objects.h"

namespace reliability {

class FuzzReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    [[nodiscard]] bool done() const { return m_pos >= m_size; }
    [[nodiscard]] uint8_t u8() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    [[nodiscard]] uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(u8()) << (8 * i);
        return v;
    }
    // Biased towards the values that break arithmetic, then small sizes, else anything.
    [[nodiscard]] uint32_t interesting() {
        static constexpr std::array<uint32_t, 10> kEdges = {
            0, 1, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 65535, 65536, 2, 3, 0xFFFFFFFEu};
        const uint8_t pick = u8();
        if (pick < 100) return kEdges[pick % kEdges.size()];
        return pick < 200 ? u8() : u32();
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The keys that the encoder and the container read.
inline const std::vector<std::string>& PluginKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> split;
        std::istringstream words(
            "width height pts dts frameRate fieldOrder dataRange hasAlpha frameRateIsDrop path "
            "codecContainers mediaType magicCookie 4cc samplingRate numChannels sampleBits isFloat "
            "audLayout duration");
        for (std::string word; words >> word;) split.push_back(word);
        return split;
    }();
    return keys;
}

// Sets up to `maxEntries` fuzzed properties on `store`, keys mostly from PluginKeys().
inline void FillProperties(FuzzReader& in, iohost::PropertyStore& store, int maxEntries) {
    static constexpr std::array<uint32_t, 6> kTypes = {propUInt8,  propInt32, propInt64,
                                                       propString, 0,         99};
    const int entries = in.u8() % (maxEntries + 1);
    for (int e = 0; e < entries; ++e) {
        const uint8_t keyPick = in.u8();
        std::string key = keyPick < 240 ? PluginKeys()[keyPick % PluginKeys().size()] : "";
        for (int k = keyPick < 240 ? 0 : in.u8() % 12; k > 0 && !in.done(); --k)
            key += static_cast<char>(in.u8());
        const uint32_t type = kTypes[in.u8() % kTypes.size()];
        const uint32_t elementSize = std::max<uint32_t>(iohost::PropertyElementSize(type), 1);
        const uint32_t count = in.u8() % 5;  // 0 to 4 values: the plug-in wants 1 or 2
        std::vector<uint8_t> value;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t v = in.interesting();
            const uint32_t high = (in.u8() & 1) != 0 ? 0xFFFFFFFFu : 0;
            for (uint32_t b = 0; b < elementSize; ++b)
                value.push_back(static_cast<uint8_t>((b < 4 ? v : high) >> (8 * (b % 4))));
        }
        // Unknown type codes are refused by the host; the plug-in then simply finds no value.
        (void)store.set(key, type, value.empty() ? nullptr : value.data(), count);
    }
}

}  // namespace reliability
