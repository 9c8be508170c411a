// libFuzzer target over the decoder: any packet, for any stream and small frame size, decodes or
// answers a status, and never touches memory outside the packet and the exact-size planes.
#include <cstdint>
#include <vector>

#include "decoder_fuzz_input.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& cookies = codec_fuzz::streamCookies();
    if (size < codec_fuzz::kHeaderBytes || cookies.size() != 16) return 0;
    const std::vector<uint8_t>& cookie = cookies[data[0] % 16];
    const uint32_t width = 1 + data[1] % codec_fuzz::kMaxSide;
    const uint32_t height = 1 + data[2] % codec_fuzz::kMaxSide;
    ParvoluxDecoder* decoder = nullptr;
    if (parvolux_decoder_open(cookie.data(), cookie.size(), width, height, data[3] & 1, &decoder) !=
        0)
        __builtin_trap();
    ParvoluxOutputLayout layout{};
    (void)parvolux_decoder_layout(decoder, &layout);
    std::vector<std::vector<uint8_t>> buffers(layout.planeCount);
    ParvoluxOutputPlane planes[4] = {};
    for (uint32_t p = 0; p < layout.planeCount; ++p) {
        buffers[p].resize(size_t{layout.plane[p].rowBytes} * layout.plane[p].height);
        planes[p] = {buffers[p].data(), layout.plane[p].rowBytes, buffers[p].size()};
    }
    // An exact-size copy, so that a read past the packet is caught.
    const std::vector<uint8_t> packet(data + codec_fuzz::kHeaderBytes, data + size);
    const int32_t status = parvolux_decoder_decode(decoder, packet.data(), packet.size(), planes);
    parvolux_decoder_close(decoder);
    if (status != 0 && status != -1) __builtin_trap();
    return 0;
}
