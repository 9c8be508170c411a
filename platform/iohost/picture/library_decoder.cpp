#include "platform/iohost/picture/library_decoder.h"

#include "platform/iohost/files/input_error.h"

namespace iohost {

LibraryDecoder::LibraryDecoder(std::span<const uint8_t> cookie, uint32_t width, uint32_t height,
                               uint32_t flags, const std::string& tag) {
    const int32_t status =
        parvolux_decoder_open(cookie.data(), cookie.size(), width, height, flags, &m_decoder);
    if (status != 0)
        throw InputError("the codec library cannot decode this " + tag +
                         " stream: " + parvolux_get_string(parvoluxStringStatus, status));
    if (parvolux_decoder_layout(m_decoder, &m_layout) != 0) {
        parvolux_decoder_close(m_decoder);
        throw InputError("the codec library gives no output layout for " + tag);
    }
}

LibraryDecoder::~LibraryDecoder() {
    parvolux_decoder_close(m_decoder);
}

ParvoluxPictureInfo LibraryDecoder::picture() const {
    ParvoluxPictureInfo info{};
    if (parvolux_decoder_picture(m_decoder, &info) != 0) return {};
    return info;
}

uint64_t LibraryDecoder::frameBytes() const {
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < m_layout.planeCount; ++i)
        bytes += uint64_t{m_layout.plane[i].rowBytes} * m_layout.plane[i].height;
    return bytes;
}

std::string LibraryDecoder::decode(std::span<const uint8_t> packet, uint8_t* frame) {
    ParvoluxOutputPlane planes[4]{};
    for (uint32_t i = 0; i < m_layout.planeCount; ++i) {
        const ParvoluxPlaneLayout& l = m_layout.plane[i];
        planes[i] = {frame, l.rowBytes, uint64_t{l.rowBytes} * l.height};
        frame += planes[i].byteCount;
    }
    const int32_t status = parvolux_decoder_decode(m_decoder, packet.data(), packet.size(), planes);
    return status == 0 ? std::string() : parvolux_get_string(parvoluxStringStatus, status);
}

}  // namespace iohost
