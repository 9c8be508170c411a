#include "decoder_fuzz_input.h"

#include "codec/parvolux_library.h"

namespace codec_fuzz {
namespace {

std::vector<std::vector<uint8_t>> makeCookies() {
    std::vector<std::vector<uint8_t>> cookies;
    uint32_t handle = 0;
    if (parvolux_library_init() != 0 || parvolux_open(&handle) != 0) return cookies;
    for (const auto& pair : kPairs) {
        const FrameFormat in{16, 16, parvoluxFormatExtended, 1, pair[0], 0, 0, 1, 0};
        const FrameFormat out{0, 0, parvoluxFormatExtended, 1, pair[1], 0, 0, 0, 0};
        const uint8_t* cookie = nullptr;
        uint64_t size = 0;
        uint32_t bufferSize = 0;
        if (parvolux_compress_begin(handle, &in, &out, &cookie, &size, &bufferSize) == 0)
            cookies.emplace_back(cookie, cookie + size);
    }
    (void)parvolux_close(handle);
    (void)parvolux_library_close();
    return cookies;
}

}  // namespace

const std::vector<std::vector<uint8_t>>& streamCookies() {
    static const std::vector<std::vector<uint8_t>> cookies = makeCookies();
    return cookies;
}

}  // namespace codec_fuzz
