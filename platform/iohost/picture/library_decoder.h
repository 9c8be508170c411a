// One decoder of the codec library for one video stream, its output planes laid one after another
// in a caller's frame buffer. A decoder decodes one packet at a time; several decode at once on
// several threads, each on its own.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/parvolux_common64/parvolux_decoder.h"

namespace iohost {

class LibraryDecoder {
public:
    // `cookie` is the stream's codec private data, `tag` its four-character code (for messages);
    // throws InputError when the library cannot decode such a stream.
    LibraryDecoder(std::span<const uint8_t> cookie, uint32_t width, uint32_t height, uint32_t flags,
                   const std::string& tag);
    ~LibraryDecoder();
    LibraryDecoder(const LibraryDecoder&) = delete;
    LibraryDecoder& operator=(const LibraryDecoder&) = delete;

    [[nodiscard]] const ParvoluxOutputLayout& layout() const { return m_layout; }
    [[nodiscard]] ParvoluxPictureInfo picture() const;
    // Bytes of a decoded frame: every plane, rows tightly packed.
    [[nodiscard]] uint64_t frameBytes() const;
    // Decodes `packet` into `frame` (frameBytes()); empty when it decoded, else the library's
    // reason.
    [[nodiscard]] std::string decode(std::span<const uint8_t> packet, uint8_t* frame);

private:
    ParvoluxDecoder* m_decoder = nullptr;
    ParvoluxOutputLayout m_layout{};
};

}  // namespace iohost
