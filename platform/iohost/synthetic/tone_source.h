// The built-in sound: a steady sine tone per channel (a different pitch on each), 16-bit PCM.
#pragma once

#include "platform/iohost/media/audio_source.h"

namespace iohost {

class ToneSource final : public AudioSource {
public:
    ToneSource(uint32_t sampleRate, uint32_t channels);

    [[nodiscard]] const AudioFormat& format() const override { return m_format; }
    [[nodiscard]] size_t read(uint8_t* data, size_t frames) override;
    [[nodiscard]] bool endless() const override { return true; }

private:
    AudioFormat m_format;
    uint64_t m_position = 0;
};

}  // namespace iohost
