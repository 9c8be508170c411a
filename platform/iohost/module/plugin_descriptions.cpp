#include "platform/iohost/module/plugin_descriptions.h"

#include <algorithm>
#include <cstring>

namespace iohost {

std::string UuidToHex(const Uuid& id) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : id) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::string FourCCToText(uint32_t fourcc) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((fourcc >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

bool FourCCFromText(const std::string& text, uint32_t& fourcc) {
    if (text.size() != 4) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < 0x20 || c >= 0x7F) return false;
        value = (value << 8) | static_cast<uint8_t>(c);
    }
    fourcc = value;
    return true;
}

namespace {

// Reads typed properties into fields, naming every one that is absent or malformed.
class Reader {
public:
    Reader(const PropertyStore& properties, std::vector<std::string>& missing)
        : m_properties(properties), m_missing(missing) {}

    void uuid(const char* key, Uuid& out) {
        auto bytes = m_properties.getBytes(key);
        if (!bytes || bytes->size() != out.size()) return note(key);
        std::copy(bytes->begin(), bytes->end(), out.begin());
    }
    // Strings as published, without a trailing NUL the writer may have counted.
    void text(const char* key, std::string& out, bool keepNul = false) {
        auto value = m_properties.getString(key);
        if (!value) return note(key);
        if (!keepNul && !value->empty() && value->back() == '\0') value->pop_back();
        out = std::move(*value);
    }
    template <class T>
    void int32(const char* key, T& out) {
        auto value = m_properties.getInt32(key);
        if (!value) return note(key);
        out = static_cast<T>(*value);
    }
    void uint8(const char* key, uint8_t& out) {
        auto value = m_properties.getUInt8(key);
        if (!value) return note(key);
        out = *value;
    }
    void flag(const char* key, bool& out) {
        uint8_t value = 0;
        const size_t before = m_missing.size();
        uint8(key, value);
        if (m_missing.size() == before) out = value != 0;
    }
    void bytes(const char* key, std::vector<uint8_t>& out) {
        auto value = m_properties.getBytes(key);
        if (!value) return note(key);
        out = std::move(*value);
    }

private:
    void note(const char* key) { m_missing.emplace_back(key); }

    const PropertyStore& m_properties;
    std::vector<std::string>& m_missing;
};

}  // namespace

PluginInfo PluginInfo::from(const PropertyStore& properties) {
    PluginInfo info;
    Reader read(properties, info.missing);
    read.uuid("uuid", info.uuid);
    read.text("name", info.name);
    return info;
}

ContainerInfo ContainerInfo::from(const PropertyStore& properties) {
    ContainerInfo info;
    Reader read(properties, info.missing);
    read.uuid("uuid", info.uuid);
    read.text("name", info.name);
    read.int32("mediaType", info.mediaType);
    read.text("contExt", info.extension);
    return info;
}

CodecInfo CodecInfo::from(const PropertyStore& properties) {
    CodecInfo info;
    Reader read(properties, info.missing);
    read.uuid("uuid", info.uuid);
    read.text("group", info.group);
    read.text("name", info.name);
    read.int32("4cc", info.fourcc);
    read.int32("mediaType", info.mediaType);
    read.int32("codecDirection", info.codecDirection);
    read.int32("colorModel", info.colorModel);
    read.bytes("dataRange", info.dataRange);
    read.uint8("hSubsampling", info.hSubsampling);
    read.uint8("vSubsampling", info.vSubsampling);
    read.int32("bitDepth", info.bitDepth);
    read.int32("sampleBits", info.sampleBits);
    read.uint8("fieldOrder", info.fieldOrder);
    read.text("codecContainers", info.codecContainers, /*keepNul=*/true);
    read.flag("isThreadSafe", info.isThreadSafe);
    return info;
}

std::string CodecInfo::subsamplingText() const {
    if (hSubsampling == 1 && vSubsampling == 1) return "4:4:4";
    if (hSubsampling == 2 && vSubsampling == 1) return "4:2:2";
    if (hSubsampling == 2 && vSubsampling == 2) return "4:2:0";
    if (hSubsampling == 4 && vSubsampling == 1) return "4:1:1";
    return std::to_string(hSubsampling) + "x" + std::to_string(vSubsampling);
}

}  // namespace iohost
