// Decodes the video stream of an AVI file written by the plug-in, frame by frame, with the codec
// library's decoder. The frames come out in the picture layout that files store: planar YUV with
// samples above 8 bits low-aligned (as YUV4MPEG2 holds them), packed RGB/RGBA with 16-bit
// components high-aligned (as rgb48le/rgba64le hold them). The format carries the interlacing
// and full range the stream records.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/picture/library_decoder.h"
#include "platform/iohost/picture/picture_format.h"

namespace iohost {

class AviVideoDecoder {
public:
    // Reads the file's structure and opens `decoders` library decoders for its first video stream;
    // throws InputError when the file cannot be read, has no video stream or one the library
    // cannot decode.
    explicit AviVideoDecoder(const std::string& path, unsigned decoders = 1);
    ~AviVideoDecoder();
    AviVideoDecoder(const AviVideoDecoder&) = delete;
    AviVideoDecoder& operator=(const AviVideoDecoder&) = delete;

    [[nodiscard]] const avireader::AviFile& file() const { return m_file; }
    [[nodiscard]] const PictureFormat& format() const { return m_format; }
    // Bits of each sample that the stream keeps (8, 10, 12 or 14).
    [[nodiscard]] uint32_t significantBits() const { return m_significantBits; }
    // The four-character code of the stream, as text.
    [[nodiscard]] const std::string& codecTag() const { return m_codecTag; }
    [[nodiscard]] size_t frameCount() const { return m_chunks.size(); }

    // Decodes frame `index` into `frame` (format().frameBytes() bytes); throws InputError for a
    // packet that cannot be read or decoded.
    void decode(size_t index, uint8_t* frame);

    // decode() in two steps, for decoding on several threads. Reads frame `index`'s packet: one
    // thread at a time.
    void readPacket(size_t index, std::vector<uint8_t>& packet);
    // Decodes it with decoder `slot`; different slots decode at once on different threads.
    void decodePacket(size_t index, std::span<const uint8_t> packet, uint8_t* frame, unsigned slot);

private:
    void open(uint32_t flags, unsigned decoders);

    avireader::AviFile m_file;
    avireader::PayloadReader m_payloads;
    std::vector<avireader::DataChunk> m_chunks;
    std::vector<uint8_t> m_cookie;
    std::vector<uint8_t> m_packet;
    std::vector<std::unique_ptr<LibraryDecoder>> m_decoders;
    PictureFormat m_format;
    uint32_t m_significantBits = 8;
    std::string m_codecTag;
};

}  // namespace iohost
