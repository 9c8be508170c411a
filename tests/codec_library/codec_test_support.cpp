#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace codec_test {

const StreamRow& streamRow(const std::string& fourcc) {
    for (const StreamRow& row : kStreamRows)
        if (fourcc == row.fourcc) return row;
    ADD_FAILURE() << "no stream " << fourcc;
    return kStreamRows[0];
}

namespace {

uint32_t mix(uint32_t seed, unsigned channel, uint32_t x, uint32_t y) {
    uint64_t z = (uint64_t{seed} << 40) ^ (uint64_t{channel} << 36) ^ (uint64_t{y} << 18) ^ x;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return static_cast<uint32_t>(z ^ (z >> 31));
}

// The 16-bit value of channel c (R, G, B, A or Y, U, V) at (x, y) of its own plane's grid.
uint16_t sample(const RawFrame& f, unsigned c, uint32_t x, uint32_t y) {
    switch (f.content) {
        case Content::Noise:
            return static_cast<uint16_t>(mix(f.seed, c, x, y));
        case Content::Gradient:
            return static_cast<uint16_t>((x * 97u + y * 53u + c * 12000u) * 7u);
        case Content::Flat:
            return static_cast<uint16_t>(0x4000 + c * 0x1234);
        case Content::Natural: {
            const double v = 0.5 + 0.2 * std::sin(x * 0.013 + c) * std::cos(y * 0.021) +
                             0.15 * std::sin((x + 2.0 * y) * 0.004 + c * 0.7) +
                             ((x / 37 + y / 23) % 5 == 0 ? 0.1 : 0.0);
            const int noise = static_cast<int>(mix(f.seed, c, x, y) % 1024) - 512;
            return static_cast<uint16_t>(
                std::clamp(static_cast<int>(v * 65535.0) + noise, 0, 65535));
        }
    }
    return 0;
}

void put(std::vector<uint8_t>& out, unsigned bytes, uint32_t v) {
    out.push_back(static_cast<uint8_t>(bytes == 1 ? v >> 8 : v));
    if (bytes == 2) out.push_back(static_cast<uint8_t>(v >> 8));
}

// The frame's samples in the planes of `shape`'s output layout, each cut to its top `bits` bits.
Planes layoutPlanes(const StreamRow& shape, const RawFrame& f, unsigned bits, bool lowAligned) {
    const unsigned drop = 16 - bits, bytes = shape.bits > 8 ? 2 : 1;
    Planes out(shape.planes);
    for (unsigned p = 0; p < shape.planes; ++p) {
        const uint32_t w = p > 0 && shape.subX ? (f.width + 1) / 2 : f.width;
        const uint32_t h = p > 0 && shape.subY ? (f.height + 1) / 2 : f.height;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                for (unsigned c = 0; c < shape.components; ++c) {
                    uint32_t v = sample(f, p + c, x, y) >> drop;
                    if (shape.raw == 59 && shape.subY && p > 0) {  // from rows 2y and 2y + 1
                        const uint32_t a = sample(f, p, x, 2 * y) >> drop;
                        const uint32_t b =
                            2 * y + 1 < f.height ? sample(f, p, x, 2 * y + 1) >> drop : a;
                        v = (a + b + 1) / 2;
                    }
                    put(out[p], bytes, bytes == 1 ? v << 8 : v << (lowAligned ? 0 : drop));
                }
    }
    return out;
}

}  // namespace

RawFrame makeRawFrame(uint32_t rawCode, uint32_t width, uint32_t height, Content content,
                      uint32_t seed) {
    RawFrame f{width, height, content, seed, {}};
    if (rawCode == 5) {  // UYVY: U0 Y0 V0 Y1 per pixel pair
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t k = 0; k < (width + 1) / 2; ++k)
                for (auto [c, x] : {std::pair{1u, k}, {0u, 2 * k}, {2u, k}, {0u, 2 * k + 1}})
                    put(f.bytes, 1, sample(f, c, x, y));
        return f;
    }
    // Every other raw layout is the output layout of the first stream that reads it, uncut.
    const StreamRow* shape = std::find_if(std::begin(kStreamRows), std::end(kStreamRows),
                                          [&](const StreamRow& row) { return row.raw == rawCode; });
    if (shape == std::end(kStreamRows)) {
        ADD_FAILURE() << "unknown raw code " << rawCode;
        return f;
    }
    for (const auto& plane : layoutPlanes(*shape, f, shape->bits > 8 ? 16 : 8, false))
        f.bytes.insert(f.bytes.end(), plane.begin(), plane.end());
    return f;
}

Planes expectedOutput(const StreamRow& row, const RawFrame& raw, bool lowAligned) {
    return layoutPlanes(row, raw, row.bits, lowAligned);
}

Session::Session(const StreamRow& row, uint32_t width, uint32_t height)
    : in(extendedIn(row.raw, width, height)) {
    EXPECT_EQ(parvolux_library_init(), 0);
    EXPECT_EQ(parvolux_open(&handle), 0);
    const FrameFormat out = extendedOut(row.compressed);
    const uint8_t* bytes = nullptr;
    uint64_t size = 0;
    EXPECT_EQ(parvolux_compress_begin(handle, &in, &out, &bytes, &size, &bufferSize), 0);
    if (bytes != nullptr) cookie.assign(bytes, bytes + size);
}

Session::~Session() {
    EXPECT_EQ(parvolux_close(handle), 0);
    EXPECT_EQ(parvolux_library_close(), 0);
}

std::vector<uint8_t> Session::compress(const RawFrame& raw) {
    FramePlanes planes{};
    EXPECT_EQ(parvolux_init_planes_common(handle, &in, &planes, raw.bytes.data()), 0);
    // A guard zone past the buffer catches writes beyond the size the library named.
    std::vector<uint8_t> out(size_t{bufferSize} + 64, 0xA5);
    uint32_t size = 0;
    EXPECT_EQ(parvolux_compress(handle, &planes, out.data(), &size), 0);
    EXPECT_LE(size, bufferSize);
    EXPECT_EQ(std::count(out.begin() + bufferSize, out.end(), 0xA5), 64)
        << "write past the compressed-buffer size";
    out.resize(size);
    return out;
}

int32_t decodePacket(const std::vector<uint8_t>& cookie, uint32_t width, uint32_t height,
                     const std::vector<uint8_t>& packet, Planes& out, bool lowAligned,
                     ParvoluxOutputLayout* layout) {
    ParvoluxDecoder* decoder = nullptr;
    const int32_t opened =
        parvolux_decoder_open(cookie.data(), cookie.size(), width, height,
                              lowAligned ? parvoluxDecodeLowAligned : 0, &decoder);
    if (opened != 0) return opened;
    ParvoluxOutputLayout l{};
    EXPECT_EQ(parvolux_decoder_layout(decoder, &l), 0);
    out.assign(l.planeCount, {});
    ParvoluxOutputPlane planes[4] = {};
    for (unsigned p = 0; p < l.planeCount; ++p) {
        out[p].assign(size_t{l.plane[p].rowBytes} * l.plane[p].height, 0);
        planes[p] = {out[p].data(), l.plane[p].rowBytes, out[p].size()};
    }
    const int32_t status = parvolux_decoder_decode(decoder, packet.data(), packet.size(), planes);
    parvolux_decoder_close(decoder);
    if (layout != nullptr) *layout = l;
    return status;
}

void expectSamePlanes(const Planes& actual, const Planes& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t p = 0; p < expected.size(); ++p) {
        const auto [a, e] = std::mismatch(actual[p].begin(), actual[p].end(), expected[p].begin(),
                                          expected[p].end());
        EXPECT_TRUE(a == actual[p].end() && e == expected[p].end())
            << "plane " << p << " differs at byte " << (a - actual[p].begin()) << " of "
            << expected[p].size();
    }
}

}  // namespace codec_test
