#include "tests/reliability/fuzz_properties.h"

#include <algorithm>
#include <array>

namespace reliability {

uint8_t FuzzReader::u8() {
    return m_pos < m_size ? m_data[m_pos++] : 0;
}

uint32_t FuzzReader::u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(u8()) << (8 * i);
    return v;
}

std::vector<uint8_t> FuzzReader::bytes(size_t max) {
    const size_t n = std::min(max, m_size - std::min(m_pos, m_size));
    std::vector<uint8_t> out(m_data + m_pos, m_data + m_pos + n);
    m_pos += n;
    return out;
}

uint32_t FuzzReader::interesting() {
    static constexpr std::array<uint32_t, 10> kEdges = {
        0, 1, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 65535, 65536, 2, 3, 0xFFFFFFFEu};
    const uint8_t pick = u8();
    if (pick < 100) return kEdges[pick % kEdges.size()];
    if (pick < 200) return u8();  // small sizes, the common case
    return u32();
}

const std::vector<std::string>& PluginKeys() {
    static const std::vector<std::string> keys = {"width",
                                                  "height",
                                                  "pts",
                                                  "dts",
                                                  "frameRate",
                                                  "fieldOrder",
                                                  "dataRange",
                                                  "hasAlpha",
                                                  "frameRateIsDrop",
                                                  "path",
                                                  "codecContainers",
                                                  "mediaType",
                                                  "magicCookie",
                                                  "4cc",
                                                  "samplingRate",
                                                  "numChannels",
                                                  "sampleBits",
                                                  "isFloat",
                                                  "audLayout",
                                                  "duration"};
    return keys;
}

void FillProperties(FuzzReader& in, iohost::PropertyStore& store,
                    const std::vector<std::string>& keys, int maxEntries) {
    static constexpr std::array<uint32_t, 6> kTypes = {propUInt8,  propInt32, propInt64,
                                                       propString, 0,         99};
    const int entries = in.u8() % (maxEntries + 1);
    for (int e = 0; e < entries; ++e) {
        const uint8_t keyPick = in.u8();
        std::string key;
        if (keyPick < 240) {
            key = keys[keyPick % keys.size()];
        } else {
            const auto raw = in.bytes(in.u8() % 12);
            key.assign(raw.begin(), raw.end());
        }
        const uint32_t type = kTypes[in.u8() % kTypes.size()];
        const uint32_t elementSize = std::max<uint32_t>(iohost::PropertyElementSize(type), 1);
        const uint32_t count = in.u8() % 5;  // 0 to 4 values: the plug-in wants 1 or 2
        std::vector<uint8_t> value;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t v = in.interesting();
            const uint32_t high = (in.u8() & 1) != 0 ? 0xFFFFFFFFu : 0;
            for (uint32_t b = 0; b < elementSize; ++b) {
                const uint32_t word = b < 4 ? v : high;
                value.push_back(static_cast<uint8_t>(word >> (8 * (b % 4))));
            }
        }
        // Unknown type codes are refused by the host; the plug-in then simply finds no value.
        (void)store.set(key, type, value.empty() ? nullptr : value.data(), count);
    }
}

}  // namespace reliability
