#include "platform/iohost/media/wav_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/iohost/files/output_file.h"
#include "platform/iohost/files/system_error.h"

namespace iohost {

namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}

}  // namespace

std::vector<uint8_t> MakeWav(const AudioFormat& f, std::span<const uint8_t> samples) {
    const bool extensible = f.isFloat ? f.channels > 2 : (f.channels > 2 || f.bitsPerSample > 16);
    const uint32_t fmtSize = extensible ? 40 : 16;
    const uint16_t tag = f.isFloat ? 3 : 1;
    const auto dataSize = static_cast<uint32_t>(samples.size());
    std::vector<uint8_t> b;
    b.reserve(samples.size() + 80);
    PutTag(b, "RIFF");
    Put32(b, 4 + 8 + fmtSize + 8 + dataSize + (dataSize & 1));
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, fmtSize);
    Put16(b, extensible ? 0xFFFE : tag);      // wFormatTag
    Put16(b, f.channels);                     // nChannels
    Put32(b, f.sampleRate);                   // nSamplesPerSec
    Put32(b, f.sampleRate * f.blockAlign());  // nAvgBytesPerSec
    Put16(b, f.blockAlign());                 // nBlockAlign
    Put16(b, f.bitsPerSample);                // wBitsPerSample
    if (extensible) {
        Put16(b, 22);               // cbSize
        Put16(b, f.bitsPerSample);  // wValidBitsPerSample
        Put32(b, f.channelMask);    // dwChannelMask
        Put16(b, tag);              // SubFormat: the tag, then the fixed GUID tail
        static const uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        for (uint8_t byte : kGuidTail) b.push_back(byte);
    }
    PutTag(b, "data");
    Put32(b, dataSize);
    const size_t header = b.size();
    b.resize(header + samples.size() + (dataSize & 1), 0);
    if (!samples.empty()) std::memcpy(b.data() + header, samples.data(), samples.size());
    return b;
}

void WriteWav(const std::string& path, const AudioFormat& format,
              std::span<const uint8_t> samples) {
    WriteWav(OpenForWriting(path), path, format, samples);
}

void WriteWav(std::FILE* file, const std::string& name, const AudioFormat& format,
              std::span<const uint8_t> samples) {
    const std::vector<uint8_t> bytes = MakeWav(format, samples);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const std::string reason = ok ? std::string() : StreamWriteReason();
    if (std::fclose(file) != 0 || !ok)
        throw std::runtime_error("cannot write to '" + name +
                                 "': " + (ok ? StreamWriteReason() : reason));
}

}  // namespace iohost
