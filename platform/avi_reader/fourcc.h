#pragma once
// Four-character codes as they sit in a RIFF file: the first character is the lowest byte of the
// little-endian 32-bit value, so "RIFF" reads as 0x46464952.

#include <cstdint>
#include <string>

namespace avireader {

[[nodiscard]] constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// The code as text for messages; bytes outside printable ASCII appear as "\xNN" so that garbage
// in a damaged file cannot corrupt a terminal.
[[nodiscard]] std::string fourccText(uint32_t code);

// The stream number of a data chunk id ("01wb" -> 1), or -1 when its first two bytes are not
// decimal digits.
[[nodiscard]] int streamOfChunkId(uint32_t code);

// The stream number of an OpenDML standard index id ("ix01" -> 1), or -1 for any other code.
[[nodiscard]] int streamOfIndexId(uint32_t code);

}  // namespace avireader
