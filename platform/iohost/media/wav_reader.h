// Reads WAV files: PCM 16, 24 or 32-bit or 32-bit float, 1 to 8 channels, in the plain
// WAVEFORMATEX form or WAVE_FORMAT_EXTENSIBLE (whose channel mask gives the layout; plain files
// get the usual layout for their channel count), in RIFF or in RF64/BW64 (64-bit sizes, as ffmpeg
// writes audio over 4 GiB). Anything else throws InputError with the reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/iohost/files/input_file.h"
#include "platform/iohost/media/audio_source.h"

namespace iohost {

class WavReader final : public AudioSource {
public:
    // What to do with a data chunk that claims more than the file holds: refuse the file, or read
    // to its end with a note (a writer stopped before it could fix the size).
    enum class ShortData { Refuse, ReadToEnd };
    explicit WavReader(const std::string& path, ShortData shortData = ShortData::Refuse);

    [[nodiscard]] const AudioFormat& format() const override { return m_format; }
    [[nodiscard]] size_t read(uint8_t* data, size_t frames) override;
    [[nodiscard]] bool endless() const override { return false; }
    // Sample frames in the data chunk.
    [[nodiscard]] uint64_t frames() const { return m_remaining / m_format.blockAlign(); }
    // Warnings about the file: what was read of a data chunk that claims more than the file holds.
    [[nodiscard]] const std::vector<std::string>& notes() const { return m_notes; }

private:
    void parseFormat(const uint8_t* fmt, uint32_t size);

    InputFile m_file;
    AudioFormat m_format;
    uint64_t m_remaining = 0;  // bytes of the data chunk not yet read
    std::vector<std::string> m_notes;
};

// A note for an encode whose audio runs longer than its video by more than a video frame: how
// much longer, that the file keeps all of it; empty otherwise.
[[nodiscard]] std::string AudioLengthNote(uint64_t audioFrames, uint32_t sampleRate,
                                          uint64_t videoFrames, uint32_t rate, uint32_t scale);

}  // namespace iohost
