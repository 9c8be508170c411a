// Writes a WAV file: the plain form for PCM of one or two channels up to 16 bits, and
// WAVE_FORMAT_EXTENSIBLE (with the channel mask) otherwise, as current tools expect.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/iohost/media/audio_source.h"

namespace iohost {

// The whole file's bytes for `samples` (interleaved, little-endian).
[[nodiscard]] std::vector<uint8_t> MakeWav(const AudioFormat& format,
                                           std::span<const uint8_t> samples);
// Writes MakeWav's bytes to a new file `path`, or to an open file that it closes; throws
// std::runtime_error naming the file and the system's reason.
void WriteWav(const std::string& path, const AudioFormat& format, std::span<const uint8_t> samples);
void WriteWav(std::FILE* file, const std::string& name, const AudioFormat& format,
              std::span<const uint8_t> samples);

}  // namespace iohost
