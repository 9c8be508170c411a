// What the fake plug-in module of these tests publishes and the extra selectors it answers. The
// module routes registration, one encoder and one container much as a real plug-in does, but
// with trivial work, so the host can be tested before (and independently of) the product.
#pragma once

#include <array>
#include <cstdint>

namespace fake {

using Id = std::array<uint8_t, 16>;

inline constexpr Id kPluginId = {0xfa, 0x4e, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
inline constexpr Id kContainerId = {0xfa, 0x4e, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xc0};
inline constexpr Id kRgbCodecId = {0xfa, 0x4e, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
inline constexpr Id kYuvCodecId = {0xfa, 0x4e, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11};

inline constexpr uint32_t kRgbFourCC = 0x464B5247;  // "FKRG"
inline constexpr uint32_t kYuvFourCC = 0x464B5932;  // "FKY2"

// Extra plug-in selectors of the fake module.
enum Selector : uint32_t {
    fakeLog = 0x7F000001,          // const char* text: sent to hostLog at level 0
    fakeLiveObjects = 0x7F000002,  // uint32_t* out: plug-in objects alive in the module
    fakeLeakBuffer = 0x7F000003,   // none: creates a host buffer and never releases it
};

// Every packet byte is the frame byte plus this, so a test can tell a packet from its frame.
inline constexpr uint8_t kPacketOffset = 1;
// The text the module's static tear-down sends to the host's log.
inline constexpr const char* kUnloadMessage = "fake plug-in unloaded";

}  // namespace fake
