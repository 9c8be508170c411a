#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace codec_test {

const std::vector<StreamRow>& streamRows() {
    static const std::vector<StreamRow> rows = {
        {101, "P8RG", 22, "RGB24", 8},      {102, "P8RA", 20, "RGBA32", 8},
        {103, "P8Y4", 29, "YUV444P8", 8},   {104, "P8Y2", 5, "UYVY", 8},
        {105, "P8Y0", 10, "YUV420P8", 8},   {107, "P8G0", 10, "YUV420P8", 8},
        {109, "P0RG", 28, "RGB48", 10},     {110, "P0RA", 26, "RGBA64", 10},
        {118, "P0Y4", 51, "YUV444P16", 10}, {108, "P0Y2", 59, "YUV422P16", 10},
        {123, "P0Y0", 59, "YUV422P16", 10}, {115, "P0G0", 59, "YUV422P16", 10},
        {111, "P2RG", 28, "RGB48", 12},     {112, "P2RA", 26, "RGBA64", 12},
        {113, "P4RG", 28, "RGB48", 14},     {114, "P4RA", 26, "RGBA64", 14},
    };
    return rows;
}

const char* contentName(Content content) {
    switch (content) {
        case Content::Noise:
            return "noise";
        case Content::Gradient:
            return "gradient";
        case Content::Natural:
            return "natural";
        case Content::Flat:
            return "flat";
    }
    return "?";
}

namespace {

struct Layout {
    unsigned bytesPerSample;
    unsigned components;  // interleaved in plane 0 for packed formats
    bool planar;
    unsigned chromaShiftX, chromaShiftY;
};

Layout layoutOf(uint32_t rawCode) {
    switch (rawCode) {
        case 22:
            return {1, 3, false, 0, 0};
        case 20:
            return {1, 4, false, 0, 0};
        case 29:
            return {1, 1, true, 0, 0};
        case 5:
            return {1, 2, false, 1, 0};  // UYVY: 2 bytes per pixel
        case 10:
            return {1, 1, true, 1, 1};
        case 28:
            return {2, 3, false, 0, 0};
        case 26:
            return {2, 4, false, 0, 0};
        case 51:
            return {2, 1, true, 0, 0};
        case 59:
            return {2, 1, true, 1, 0};
    }
    ADD_FAILURE() << "unknown raw code " << rawCode;
    return {1, 1, true, 0, 0};
}

// A 16-bit sample value for component c at (x, y).
class Pattern {
public:
    Pattern(Content content, uint32_t seed) : m_content(content), m_rng(seed) {}
    uint16_t at(unsigned c, uint32_t x, uint32_t y) {
        switch (m_content) {
            case Content::Noise:
                return static_cast<uint16_t>(m_rng());
            case Content::Gradient:
                return static_cast<uint16_t>((x * 97u + y * 53u + c * 12000u) * 7u);
            case Content::Flat:
                return static_cast<uint16_t>(0x4000 + c * 0x1234);
            case Content::Natural: {
                const double v = 0.5 + 0.2 * std::sin(x * 0.013 + c) * std::cos(y * 0.021) +
                                 0.15 * std::sin((x + 2.0 * y) * 0.004 + c * 0.7) +
                                 ((x / 37 + y / 23) % 5 == 0 ? 0.1 : 0.0);
                const int noise = static_cast<int>(m_rng() % 1024) - 512;
                const int value = static_cast<int>(v * 65535.0) + noise;
                return static_cast<uint16_t>(std::clamp(value, 0, 65535));
            }
        }
        return 0;
    }

private:
    Content m_content;
    std::mt19937 m_rng;
};

void putSample(uint8_t* p, unsigned bytes, uint16_t v) {
    if (bytes == 1) {
        p[0] = static_cast<uint8_t>(v >> 8);
    } else {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    }
}

uint32_t get16(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8);
}

}  // namespace

RawFrame makeRawFrame(uint32_t rawCode, uint32_t width, uint32_t height, Content content,
                      uint32_t seed) {
    const Layout l = layoutOf(rawCode);
    RawFrame f;
    f.width = width;
    f.height = height;
    Pattern pattern(content, seed);
    const uint32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
    const auto addPlane = [&](uint32_t stride, uint32_t rows) {
        f.planeOffset.push_back(f.bytes.size());
        f.planeStride.push_back(stride);
        f.planeRows.push_back(rows);
        f.bytes.resize(f.bytes.size() + size_t{stride} * rows);
    };
    if (rawCode == 5) {
        addPlane(4 * cw, height);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t k = 0; k < cw; ++k) {
                uint8_t* q = f.bytes.data() + size_t{y} * 4 * cw + 4 * k;
                q[0] = static_cast<uint8_t>(pattern.at(1, k, y) >> 8);
                q[1] = static_cast<uint8_t>(pattern.at(0, 2 * k, y) >> 8);
                q[2] = static_cast<uint8_t>(pattern.at(2, k, y) >> 8);
                q[3] = static_cast<uint8_t>(pattern.at(0, 2 * k + 1, y) >> 8);
            }
        return f;
    }
    if (!l.planar) {
        addPlane(width * l.components * l.bytesPerSample, height);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                for (unsigned c = 0; c < l.components; ++c)
                    putSample(f.bytes.data() + (size_t{y} * width * l.components +
                                                size_t{x} * l.components + c) *
                                                   l.bytesPerSample,
                              l.bytesPerSample, pattern.at(c, x, y));
        return f;
    }
    for (unsigned p = 0; p < 3; ++p) {
        const uint32_t pw = p == 0 ? width : (l.chromaShiftX ? cw : width);
        const uint32_t ph = p == 0 ? height : (l.chromaShiftY ? ch : height);
        addPlane(pw * l.bytesPerSample, ph);
        for (uint32_t y = 0; y < ph; ++y)
            for (uint32_t x = 0; x < pw; ++x)
                putSample(
                    f.bytes.data() + f.planeOffset[p] + (size_t{y} * pw + x) * l.bytesPerSample,
                    l.bytesPerSample, pattern.at(p, x, y));
    }
    return f;
}

Planes expectedOutput(const StreamRow& row, const RawFrame& raw, bool lowAligned) {
    const uint32_t w = raw.width, h = raw.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const unsigned drop = 16 - row.bits;
    // A kept 16-bit sample as the decoder stores it.
    const auto kept = [&](uint32_t v16) {
        const uint32_t v = v16 >> drop;
        return lowAligned ? v : v << drop;
    };
    const auto put16 = [](std::vector<uint8_t>& out, uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    const uint8_t* base = raw.bytes.data();
    Planes out;
    if (row.bits == 8) {
        switch (row.raw) {
            case 22:
            case 20:
            case 29:
            case 10:
                for (size_t p = 0; p < raw.planeOffset.size(); ++p) {
                    const size_t size = size_t{raw.planeStride[p]} * raw.planeRows[p];
                    out.emplace_back(base + raw.planeOffset[p], base + raw.planeOffset[p] + size);
                }
                if (row.compressed == 107) out.resize(1);
                return out;
            case 5: {
                out.resize(3);
                for (uint32_t y = 0; y < h; ++y) {
                    const uint8_t* q = base + size_t{y} * 4 * cw;
                    for (uint32_t x = 0; x < w; ++x)
                        out[0].push_back(q[4 * (x / 2) + 1 + 2 * (x % 2)]);
                    for (uint32_t k = 0; k < cw; ++k) {
                        out[1].push_back(q[4 * k]);
                        out[2].push_back(q[4 * k + 2]);
                    }
                }
                return out;
            }
        }
    }
    if (row.raw == 28 || row.raw == 26 || row.raw == 51) {
        for (size_t p = 0; p < raw.planeOffset.size(); ++p) {
            out.emplace_back();
            const size_t samples = size_t{raw.planeStride[p]} * raw.planeRows[p] / 2;
            for (size_t i = 0; i < samples; ++i)
                put16(out.back(), kept(get16(base + raw.planeOffset[p] + 2 * i)));
        }
        return out;
    }
    // YUV422P16 into 4:2:2, 4:2:0 or luma.
    out.resize(row.compressed == 115 ? 1 : 3);
    for (size_t i = 0; i < size_t{w} * h; ++i) put16(out[0], kept(get16(base + 2 * i)));
    for (unsigned p = 1; p < out.size(); ++p) {
        const uint8_t* plane = base + raw.planeOffset[p];
        if (row.compressed == 108) {
            for (size_t i = 0; i < size_t{cw} * h; ++i) put16(out[p], kept(get16(plane + 2 * i)));
            continue;
        }
        for (uint32_t y = 0; y < ch; ++y)
            for (uint32_t x = 0; x < cw; ++x) {
                const uint32_t a = get16(plane + 2 * (size_t{2 * y} * cw + x)) >> drop;
                const uint32_t b =
                    2 * y + 1 < h ? get16(plane + 2 * (size_t{2 * y + 1} * cw + x)) >> drop : a;
                const uint32_t mean = (a + b + 1) / 2;
                put16(out[p], lowAligned ? mean : mean << drop);
            }
    }
    return out;
}

FrameFormat extendedIn(uint32_t rawCode, uint32_t width, uint32_t height) {
    return FrameFormat{width, height, parvoluxFormatExtended, 1, rawCode, 0, 0, 1, 0};
}

FrameFormat extendedOut(uint32_t compressedCode) {
    return FrameFormat{0, 0, parvoluxFormatExtended, 1, compressedCode, 0, 0, 0, 0};
}

FrameFormat shortForm(uint32_t code, uint32_t width, uint32_t height) {
    return FrameFormat{width, height, code, 0, 0, 0, 0, 0, 0};
}

Session::Session(const StreamRow& row, uint32_t width, uint32_t height)
    : m_in(extendedIn(row.raw, width, height)) {
    EXPECT_EQ(parvolux_library_init(), 0);
    EXPECT_EQ(parvolux_open(&m_handle), 0);
    const FrameFormat out = extendedOut(row.compressed);
    const uint8_t* cookie = nullptr;
    uint64_t cookieSize = 0;
    EXPECT_EQ(parvolux_compress_begin(m_handle, &m_in, &out, &cookie, &cookieSize, &m_bufferSize),
              0);
    if (cookie != nullptr) m_cookie.assign(cookie, cookie + cookieSize);
}

Session::~Session() {
    if (m_handle != 0) {
        EXPECT_EQ(parvolux_close(m_handle), 0);
        EXPECT_EQ(parvolux_library_close(), 0);
    }
}

std::vector<uint8_t> Session::compress(const RawFrame& raw) {
    FramePlanes planes{};
    EXPECT_EQ(parvolux_init_planes_common(m_handle, &m_in, &planes, raw.bytes.data()), 0);
    // A guard zone past the buffer catches writes beyond the size the library named.
    std::vector<uint8_t> out(size_t{m_bufferSize} + 64, 0xA5);
    uint32_t size = 0;
    EXPECT_EQ(parvolux_compress(m_handle, &planes, out.data(), &size), 0);
    EXPECT_LE(size, m_bufferSize);
    for (size_t i = m_bufferSize; i < out.size(); ++i)
        if (out[i] != 0xA5) {
            ADD_FAILURE() << "write past the compressed-buffer size at " << i;
            break;
        }
    out.resize(size);
    return out;
}

int32_t decodePacket(const std::vector<uint8_t>& cookie, uint32_t width, uint32_t height,
                     const uint8_t* packet, size_t size, Planes& out, bool lowAligned) {
    ParvoluxDecoder* decoder = nullptr;
    const int32_t opened =
        parvolux_decoder_open(cookie.data(), cookie.size(), width, height,
                              lowAligned ? parvoluxDecodeLowAligned : 0, &decoder);
    if (opened != 0) return opened;
    ParvoluxOutputLayout layout{};
    EXPECT_EQ(parvolux_decoder_layout(decoder, &layout), 0);
    out.assign(layout.planeCount, {});
    ParvoluxOutputPlane planes[4] = {};
    for (unsigned p = 0; p < layout.planeCount; ++p) {
        out[p].assign(size_t{layout.plane[p].rowBytes} * layout.plane[p].height, 0);
        planes[p] = {out[p].data(), layout.plane[p].rowBytes, out[p].size()};
    }
    const int32_t status = parvolux_decoder_decode(decoder, packet, size, planes);
    parvolux_decoder_close(decoder);
    return status;
}

long long firstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<long long>(i);
    return a.size() == b.size() ? -1 : static_cast<long long>(n);
}

}  // namespace codec_test
