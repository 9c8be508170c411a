// The host's side of one track object handed out by a container. Owns the reference the
// container gave with the track.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/iohost/driver/plugin_object.h"
#include "platform/iohost/host/host.h"

namespace iohost {

class Track : public PluginObject {
public:
    using PluginObject::PluginObject;

    // trackWrite with the packet buffer.
    [[nodiscard]] int32_t write(HostBuffer& packet);
    // trackWrite with a null buffer handle.
    [[nodiscard]] int32_t writeNull();
    // Makes a packet buffer from the bytes (with "duration" as propInt64 when given; audio
    // packets carry it) and sends trackWrite.
    [[nodiscard]] int32_t write(std::span<const uint8_t> bytes,
                                std::optional<int64_t> duration = std::nullopt);
};

}  // namespace iohost
