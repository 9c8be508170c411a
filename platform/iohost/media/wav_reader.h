// Reads WAV files: PCM 16, 24 or 32-bit or 32-bit float, 1 to 8 channels, in the plain
// WAVEFORMATEX form or WAVE_FORMAT_EXTENSIBLE (whose channel mask gives the layout; plain files
// get the usual layout for their channel count). Anything else throws InputError with the reason.
#pragma once

#include <string>

#include "platform/iohost/files/input_file.h"
#include "platform/iohost/media/audio_source.h"

namespace iohost {

class WavReader final : public AudioSource {
public:
    explicit WavReader(const std::string& path);

    [[nodiscard]] const AudioFormat& format() const override { return m_format; }
    [[nodiscard]] size_t read(uint8_t* data, size_t frames) override;
    [[nodiscard]] bool endless() const override { return false; }
    // Sample frames in the data chunk.
    [[nodiscard]] uint64_t frames() const { return m_remaining / m_format.blockAlign(); }

private:
    void parseFormat(const uint8_t* fmt, uint32_t size);

    InputFile m_file;
    AudioFormat m_format;
    uint64_t m_remaining = 0;  // bytes of the data chunk not yet read
};

}  // namespace iohost
