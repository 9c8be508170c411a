#include "platform/iohost/media/wav_reader.h"

#include <iomanip>
#include <optional>
#include <sstream>
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

WavReader::WavReader(const std::string& path, ShortData shortData) : m_file(path) {
    const std::string& name = m_file.name();
    uint8_t riff[12];
    const bool read = m_file.read(riff, 12) == 12;
    // RF64 (and BW64, its broadcast twin) is RIFF with 64-bit sizes in a "ds64" chunk, as ffmpeg
    // writes audio over 4 GiB.
    const bool rf64 = read && (Le32(riff) == 0x34364652 || Le32(riff) == 0x34365742);
    if (!read || (Le32(riff) != 0x46464952 && !rf64) || Le32(riff + 8) != 0x45564157)
        throw InputError(name + ": not a WAV file (no RIFF WAVE header)");
    bool haveFormat = false;
    std::optional<uint64_t> ds64DataSize;
    for (;;) {
        uint8_t head[8];
        if (m_file.read(head, 8) != 8)
            throw InputError(name + (haveFormat ? ": WAV file has no data chunk"
                                                : ": WAV file has no fmt chunk"));
        const uint32_t id = Le32(head), size = Le32(head + 4);
        if (id == 0x34367364 && rf64) {  // "ds64": RIFF size, data size, sample count, table
            uint8_t ds64[24];
            if (size < 24 || m_file.read(ds64, 24) != 24 ||
                !m_file.skip(uint64_t{size} - 24 + (size & 1)))
                throw InputError(name + ": RF64 ds64 chunk is truncated");
            ds64DataSize = Le32(ds64 + 8) | (uint64_t{Le32(ds64 + 12)} << 32);
        } else if (id == 0x20746D66) {  // "fmt "
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
            if (rf64 && size == 0xFFFFFFFFu && !ds64DataSize)
                throw InputError(name + ": RF64 file without a ds64 chunk");
            uint64_t declared = rf64 && size == 0xFFFFFFFFu ? *ds64DataSize : size;
            const auto fileSize = m_file.size();
            // Streamed writers leave 0 or 0xFFFFFFFF: the data then runs to the end of the file.
            if (declared == 0 || (!rf64 && size == 0xFFFFFFFFu)) {
                declared = fileSize ? *fileSize - m_file.position() : UINT64_MAX;
            } else if (fileSize && m_file.position() + declared > *fileSize) {
                const uint64_t have = *fileSize - m_file.position();
                if (shortData == ShortData::Refuse)
                    throw InputError(name +
                                     ": WAV data chunk is truncated: " + std::to_string(have) +
                                     " of " + std::to_string(declared) + " bytes");
                m_notes.push_back("the WAV data chunk of '" + name + "' claims " +
                                  std::to_string(declared) + " bytes but the file holds " +
                                  std::to_string(have) + ": read to its end");
                declared = have;
            }
            m_remaining = declared - declared % m_format.blockAlign();
            return;
        } else if (!m_file.skip(uint64_t{size} + (size & 1))) {
            throw InputError(name + ": WAV file ends inside a chunk");
        }
    }
}

std::string AudioLengthNote(uint64_t audioFrames, uint32_t sampleRate, uint64_t videoFrames,
                            uint32_t rate, uint32_t scale) {
    if (sampleRate == 0 || rate == 0) return {};
    // Compared in sample frames: video frames * scale / rate seconds, each sampleRate long.
    const double video = static_cast<double>(videoFrames) * scale * sampleRate / rate;
    const double frame = static_cast<double>(scale) * sampleRate / rate;
    const double extra = static_cast<double>(audioFrames) - video;
    if (extra <= frame) return {};
    std::ostringstream note;
    note << std::fixed << std::setprecision(2) << "the audio runs " << extra / sampleRate
         << " s longer than the video's " << videoFrames << " frames ("
         << static_cast<double>(videoFrames) * scale / rate << " s); the file keeps all of it";
    return note.str();
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
