// The fixed identities the plug-in publishes at registration. Hosts store these ids in their
// projects, so once published they never change.
#pragma once

#include <array>
#include <cstdint>

// The plug-in itself; distinct from every codec id of the format table and from kContainerId.
inline constexpr std::array<uint8_t, 16> kPluginId = {
    0x7d, 0x2c, 0x90, 0x4e, 0x13, 0xa8, 0x4b, 0x61, 0xb5, 0x0f, 0x6e, 0x39, 0xd2, 0x84, 0xc7, 0x1a};

// The AVI container. Its bytes, two hexadecimal digits each, spell the text that codecs publish as
// their container list ("codecContainers").
inline constexpr std::array<uint8_t, 16> kContainerId = {
    0x5b, 0x1e, 0x9d, 0x0c, 0x7a, 0x3f, 0x4e, 0x2b, 0x8c, 0x6d, 0x1a, 0x9e, 0x0f, 0x3b, 0x7c, 0x54};

inline constexpr char kPluginName[] = "Parvolux";
inline constexpr char kContainerName[] = "Parvolux AVI";
inline constexpr char kContainerExtension[] = "avi";
