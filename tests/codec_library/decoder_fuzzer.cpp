// libFuzzer target over the decoder: any packet, for any stream and small frame size, decodes or
// answers a status, and never touches memory outside the packet and the exact-size planes.
// Input: byte 0 picks the stream, bytes 1 and 2 the frame width and height (1 to 64), byte 3 the
// decoder flags; the rest is the packet.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/parvolux_common64/parvolux_decoder.h"
#include "stream_rows.h"

namespace {

// The cookie of each stream, from the library itself.
std::vector<std::vector<uint8_t>> streamCookies() {
    std::vector<std::vector<uint8_t>> cookies;
    uint32_t handle = 0;
    if (parvolux_library_init() != 0 || parvolux_open(&handle) != 0) __builtin_trap();
    for (const auto& row : codec_test::kStreamRows) {
        const FrameFormat in{16, 16, parvoluxFormatExtended, 1, row.raw, 0, 0, 1, 0};
        const FrameFormat out{0, 0, parvoluxFormatExtended, 1, row.compressed, 0, 0, 0, 0};
        const uint8_t* cookie = nullptr;
        uint64_t size = 0;
        uint32_t bufferSize = 0;
        if (parvolux_compress_begin(handle, &in, &out, &cookie, &size, &bufferSize) != 0)
            __builtin_trap();
        cookies.emplace_back(cookie, cookie + size);
    }
    (void)parvolux_close(handle);
    (void)parvolux_library_close();
    return cookies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto cookies = streamCookies();
    if (size < 4) return 0;
    const std::vector<uint8_t>& cookie = cookies[data[0] % 16];
    const uint32_t w = 1 + data[1] % 64, h = 1 + data[2] % 64;
    ParvoluxDecoder* decoder = nullptr;
    if (parvolux_decoder_open(cookie.data(), cookie.size(), w, h, data[3] & 1, &decoder) != 0)
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
    const std::vector<uint8_t> packet(data + 4, data + size);
    const int32_t status = parvolux_decoder_decode(decoder, packet.data(), packet.size(), planes);
    parvolux_decoder_close(decoder);
    if (status != 0 && status != -1) __builtin_trap();
    return 0;
}
