#include "platform/iohost/synthetic/tone_source.h"

#include <cmath>
#include <numbers>

namespace iohost {

ToneSource::ToneSource(uint32_t sampleRate, uint32_t channels) {
    m_format.sampleRate = sampleRate;
    m_format.channels = channels;
    m_format.bitsPerSample = 16;
    m_format.channelMask = channels == 1 ? 0x4 : channels == 2 ? 0x3 : 0;
}

size_t ToneSource::read(uint8_t* data, size_t frames) {
    for (size_t i = 0; i < frames; ++i, ++m_position) {
        const double t = static_cast<double>(m_position) / m_format.sampleRate;
        for (uint32_t c = 0; c < m_format.channels; ++c) {
            const double pitch = 440.0 * (1.0 + 0.5 * c);
            const auto v = static_cast<int16_t>(
                std::lround(8000.0 * std::sin(2.0 * std::numbers::pi * pitch * t)));
            const auto u = static_cast<uint16_t>(v);
            *data++ = static_cast<uint8_t>(u);
            *data++ = static_cast<uint8_t>(u >> 8);
        }
    }
    return frames;
}

}  // namespace iohost
