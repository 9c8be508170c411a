// Where `iohost encode` takes its sound from: a WAV file or the built-in tone. Samples are
// delivered interleaved, little-endian, as the AVI stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace iohost {

struct AudioFormat {
    uint32_t sampleRate = 48000;
    uint32_t channels = 2;
    uint32_t bitsPerSample = 16;  // 16, 24 or 32
    bool isFloat = false;         // 32-bit IEEE float
    uint32_t channelMask = 0;     // speaker bits, 0 when unnamed

    [[nodiscard]] uint32_t blockAlign() const { return channels * (bitsPerSample / 8); }
    // The host's "audLayout" code for this channel layout: 2 stereo, 3 5.1, 4 7.1, 1 mono, else 0.
    [[nodiscard]] uint32_t audLayout() const;
};

class AudioSource {
public:
    virtual ~AudioSource() = default;

    [[nodiscard]] virtual const AudioFormat& format() const = 0;
    // Writes up to `frames` sample frames to `data`; answers how many came (fewer only at the
    // end). Throws InputError on a read failure.
    [[nodiscard]] virtual size_t read(uint8_t* data, size_t frames) = 0;
    // Whether the source runs on as long as it is asked (the tone) or has a fixed length.
    [[nodiscard]] virtual bool endless() const = 0;
};

}  // namespace iohost
