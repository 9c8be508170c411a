#include "platform/iohost/media/wav_reader.h"

#include <vector>

#include "platform/iohost/files/input_error.h"

namespace iohost {

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint32_t DefaultMask(uint32_t channels) {
    switch (channels) {
        case 1:
            return 0x4;
        case 2:
            return 0x3;
        case 6:
            return 0x3F;
        case 8:
            return 0x63F;
        default:
            return 0;
    }
}

}  // namespace

uint32_t AudioFormat::audLayout() const {
    switch (channelMask) {
        case 0x3:
            return 2;
        case 0x3F:
            return 3;
        case 0x63F:
            return 4;
        case 0x4:
            return 1;
        default:
            return 0;
    }
}

WavReader::WavReader(const std::string& path) : m_file(path) {
    const std::string& name = m_file.name();
    uint8_t riff[12];
    if (m_file.read(riff, 12) != 12 || Le32(riff) != 0x46464952 || Le32(riff + 8) != 0x45564157)
        throw InputError(name + ": not a WAV file (no RIFF WAVE header)");
    bool haveFormat = false;
    for (;;) {
        uint8_t head[8];
        if (m_file.read(head, 8) != 8)
            throw InputError(name + (haveFormat ? ": WAV file has no data chunk"
                                                : ": WAV file has no fmt chunk"));
        const uint32_t id = Le32(head), size = Le32(head + 4);
        if (id == 0x20746D66) {  // "fmt "
            if (size < 16 || size > 256)
                throw InputError(name + ": WAV fmt chunk has a bad size (" + std::to_string(size) +
                                 ")");
            std::vector<uint8_t> fmt(size + (size & 1));
            if (m_file.read(fmt.data(), fmt.size()) != fmt.size())
                throw InputError(name + ": WAV fmt chunk is truncated");
            parseFormat(fmt.data(), size);
            haveFormat = true;
        } else if (id == 0x61746164) {  // "data"
            if (!haveFormat) throw InputError(name + ": WAV data chunk comes before fmt");
            m_remaining = size;
            const auto fileSize = m_file.size();
            // Streamed writers leave 0 or 0xFFFFFFFF: the data then runs to the end of the file.
            if (size == 0 || size == 0xFFFFFFFFu) {
                m_remaining = fileSize ? *fileSize - m_file.position() : UINT64_MAX;
            } else if (fileSize && m_file.position() + size > *fileSize) {
                throw InputError(name + ": WAV data chunk is truncated: " +
                                 std::to_string(*fileSize - m_file.position()) + " of " +
                                 std::to_string(size) + " bytes");
            }
            m_remaining -= m_remaining % m_format.blockAlign();
            return;
        } else if (!m_file.skip(uint64_t{size} + (size & 1))) {
            throw InputError(name + ": WAV file ends inside a chunk");
        }
    }
}

void WavReader::parseFormat(const uint8_t* fmt, uint32_t size) {
    const std::string& name = m_file.name();
    uint16_t tag = Le16(fmt);
    const uint16_t channels = Le16(fmt + 2);
    const uint32_t rate = Le32(fmt + 4);
    const uint16_t blockAlign = Le16(fmt + 12);
    const uint16_t bits = Le16(fmt + 14);
    uint32_t mask = DefaultMask(channels);
    if (tag == kTagExtensible) {
        if (size < 40) throw InputError(name + ": WAVE_FORMAT_EXTENSIBLE fmt chunk is too short");
        mask = Le32(fmt + 20);
        tag = Le16(fmt + 24);  // the sub-format GUID starts with the plain tag
        if (Le16(fmt + 18) != 0 && Le16(fmt + 18) != bits)
            throw InputError(name + ": WAV samples of " + std::to_string(Le16(fmt + 18)) +
                             " valid bits in " + std::to_string(bits) +
                             "-bit containers are not supported");
    }
    if (tag != kTagPcm && tag != kTagFloat)
        throw InputError(name + ": WAV sample format " + std::to_string(tag) +
                         " is not supported (PCM or 32-bit float only)");
    if (channels < 1 || channels > 8)
        throw InputError(name + ": WAV files of " + std::to_string(channels) +
                         " channels are not supported (1 to 8)");
    const bool bitsOk = tag == kTagFloat ? bits == 32 : (bits == 16 || bits == 24 || bits == 32);
    if (!bitsOk)
        throw InputError(name + ": " + std::to_string(bits) + "-bit " +
                         (tag == kTagFloat ? "float" : "PCM") + " WAV samples are not supported");
    if (rate == 0) throw InputError(name + ": WAV sample rate is 0");
    m_format = {rate, channels, bits, tag == kTagFloat, mask};
    if (blockAlign != m_format.blockAlign())
        throw InputError(name + ": WAV block alignment " + std::to_string(blockAlign) +
                         " does not match " + std::to_string(channels) + " channels of " +
                         std::to_string(bits) + " bits");
}

size_t WavReader::read(uint8_t* data, size_t frames) {
    const uint32_t block = m_format.blockAlign();
    const uint64_t want = std::min<uint64_t>(uint64_t{frames} * block, m_remaining);
    const size_t got = m_file.read(data, static_cast<size_t>(want));
    m_remaining -= got;
    if (got < want) m_remaining = 0;  // the stream ended early: stop at what came
    return got / block;
}

}  // namespace iohost
