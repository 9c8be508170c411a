// Typed records of what a plug-in publishes at registration: itself, its containers and its
// codecs. Each is read from the property collection the plug-in filled in; a property that is
// absent or has an unexpected type or count leaves the field at its default and is named in
// `missing`, so a caller can tell "0" from "not published".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/iohost/host/host_objects.h"

namespace iohost {

using Uuid = std::array<uint8_t, 16>;

// 32 lower-case hex digits, bytes in memory order.
[[nodiscard]] std::string UuidToHex(const Uuid& id);
// A four-character code carried with its first character in the most significant byte, as
// text; characters outside printable ASCII show as '.'.
[[nodiscard]] std::string FourCCToText(uint32_t fourcc);
// The inverse for four printable characters; false for any other length.
[[nodiscard]] bool FourCCFromText(const std::string& text, uint32_t& fourcc);

struct PluginInfo {
    Uuid uuid{};
    std::string name;
    std::vector<std::string> missing;

    [[nodiscard]] static PluginInfo from(const PropertyStore& properties);
};

struct ContainerInfo {
    Uuid uuid{};
    std::string name;
    int32_t mediaType = 0;
    std::string extension;  // "contExt"
    std::vector<std::string> missing;

    [[nodiscard]] static ContainerInfo from(const PropertyStore& properties);
};

struct CodecInfo {
    Uuid uuid{};
    std::string name;
    std::string group;
    uint32_t fourcc = 0;  // "4cc", first character in the most significant byte
    int32_t mediaType = 0;
    int32_t codecDirection = 0;
    int32_t colorModel = 0;
    std::vector<uint8_t> dataRange;
    uint8_t hSubsampling = 0;
    uint8_t vSubsampling = 0;
    int32_t bitDepth = 0;
    int32_t sampleBits = 0;
    uint8_t fieldOrder = 0;
    std::string codecContainers;  // as published, a counted NUL included
    bool isThreadSafe = false;
    std::vector<std::string> missing;

    [[nodiscard]] static CodecInfo from(const PropertyStore& properties);
    // "4:2:2" style text from the two subsampling factors (1 = full, 2 = half).
    [[nodiscard]] std::string subsamplingText() const;
};

}  // namespace iohost
