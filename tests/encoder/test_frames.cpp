#include "tests/encoder/test_frames.h"

#include <random>
#include <stdexcept>

#include "platform/parvolux_common64/parvolux_decoder.h"

namespace {

using Plane = std::vector<uint8_t>;

uint16_t Get16(const Plane& p, size_t i) {
    return static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8));
}

void Put16(Plane& p, size_t i, uint16_t v) {
    p[2 * i] = static_cast<uint8_t>(v);
    p[2 * i + 1] = static_cast<uint8_t>(v >> 8);
}

// Bits the stream keeps of each 16-bit sample.
unsigned StreamBits(uint32_t compressedFormat) {
    switch (compressedFormat) {
        case 111:
        case 112:
            return 12;
        case 113:
        case 114:
            return 14;
        default:
            return 10;
    }
}

Plane Masked16(const Plane& plane, unsigned bits) {
    const auto mask = static_cast<uint16_t>(0xFFFFu << (16 - bits));
    Plane out(plane.size());
    for (size_t i = 0; i < plane.size() / 2; ++i) Put16(out, i, Get16(plane, i) & mask);
    return out;
}

// 4:2:2 chroma of `rows` rows, `cw` wide, to 4:2:0: rounded mean of the kept 10 bits.
Plane ChromaTo420(const Plane& chroma, uint32_t cw, uint32_t rows) {
    const uint32_t outRows = (rows + 1) / 2;
    Plane out(size_t{cw} * outRows * 2);
    for (uint32_t y = 0; y < outRows; ++y) {
        for (uint32_t x = 0; x < cw; ++x) {
            const unsigned a = Get16(chroma, size_t{2 * y} * cw + x) >> 6;
            const unsigned b =
                2 * y + 1 < rows ? Get16(chroma, size_t{2 * y + 1} * cw + x) >> 6 : a;
            Put16(out, size_t{y} * cw + x, static_cast<uint16_t>(((a + b + 1) / 2) << 6));
        }
    }
    return out;
}

struct RawPlanes {
    std::vector<size_t> bytes;  // per plane
};

RawPlanes RawLayoutOf(uint32_t rawFormat, uint32_t w, uint32_t h) {
    const size_t n = size_t{w} * h;
    const size_t cw = (w + 1) / 2;
    const size_t ch = (h + 1) / 2;
    switch (rawFormat) {
        case 22:
            return {{n * 3}};
        case 20:
            return {{n * 4}};
        case 29:
            return {{n, n, n}};
        case 5:
            return {{4 * cw * h}};
        case 10:
            return {{n, cw * ch, cw * ch}};
        case 28:
            return {{n * 6}};
        case 26:
            return {{n * 8}};
        case 51:
            return {{n * 2, n * 2, n * 2}};
        case 59:
            return {{n * 2, cw * h * 2, cw * h * 2}};
        default:
            throw std::invalid_argument("unknown raw format " + std::to_string(rawFormat));
    }
}

std::vector<std::vector<uint8_t>> Expected(const FormatDesc& row, const std::vector<Plane>& raw,
                                           uint32_t w, uint32_t h) {
    const uint32_t cw = (w + 1) / 2;
    const unsigned bits = StreamBits(row.compressedFormat);
    switch (row.compressedFormat) {
        case 101:
        case 102:
        case 103:
        case 105:
            return raw;
        case 107:
            return {raw[0]};
        case 104: {  // UYVY comes back planar
            Plane y(size_t{w} * h), u(size_t{cw} * h), v(size_t{cw} * h);
            for (uint32_t r = 0; r < h; ++r) {
                const uint8_t* line = raw[0].data() + size_t{r} * 4 * cw;
                for (uint32_t x = 0; x < w; ++x)
                    y[size_t{r} * w + x] = line[4 * (x / 2) + 1 + 2 * (x % 2)];
                for (uint32_t p = 0; p < cw; ++p) {
                    u[size_t{r} * cw + p] = line[4 * p];
                    v[size_t{r} * cw + p] = line[4 * p + 2];
                }
            }
            return {y, u, v};
        }
        case 123:
            return {Masked16(raw[0], bits), ChromaTo420(raw[1], cw, h), ChromaTo420(raw[2], cw, h)};
        case 115:
            return {Masked16(raw[0], bits)};
        default: {  // 16-bit rows kept plane for plane
            std::vector<Plane> out;
            for (const Plane& p : raw) out.push_back(Masked16(p, bits));
            return out;
        }
    }
}

}  // namespace

size_t RawFrameSize(const FormatDesc& row, uint32_t width, uint32_t height) {
    size_t total = 0;
    for (size_t b : RawLayoutOf(row.rawFormat, width, height).bytes) total += b;
    return total;
}

TestFrame MakeTestFrame(const FormatDesc& row, uint32_t width, uint32_t height, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Plane> planes;
    TestFrame frame;
    for (size_t bytes : RawLayoutOf(row.rawFormat, width, height).bytes) {
        Plane plane(bytes);
        for (uint8_t& b : plane) b = static_cast<uint8_t>(random());
        frame.raw.insert(frame.raw.end(), plane.begin(), plane.end());
        planes.push_back(std::move(plane));
    }
    frame.expectedPlanes = Expected(row, planes, width, height);
    return frame;
}

bool DecodePacket(const std::vector<uint8_t>& cookie, uint32_t width, uint32_t height,
                  const std::vector<uint8_t>& packet, std::vector<std::vector<uint8_t>>& planes,
                  std::string& why) {
    planes.clear();
    ParvoluxDecoder* decoder = nullptr;
    int32_t status =
        parvolux_decoder_open(cookie.data(), cookie.size(), width, height, 0, &decoder);
    if (status != 0) {
        why = "parvolux_decoder_open: " + std::to_string(status);
        return false;
    }
    ParvoluxOutputLayout layout{};
    status = parvolux_decoder_layout(decoder, &layout);
    std::vector<std::vector<uint8_t>> out;
    std::vector<ParvoluxOutputPlane> targets;
    if (status == 0) {
        out.resize(layout.planeCount);
        for (uint32_t i = 0; i < layout.planeCount; ++i) {
            const ParvoluxPlaneLayout& p = layout.plane[i];
            out[i].resize(size_t{p.rowBytes} * p.height);
            targets.push_back({out[i].data(), p.rowBytes, out[i].size()});
        }
        status = parvolux_decoder_decode(decoder, packet.data(), packet.size(), targets.data());
    }
    parvolux_decoder_close(decoder);
    if (status != 0) {
        why = "decoding: " + std::to_string(status);
        return false;
    }
    planes = std::move(out);
    return true;
}

std::string FirstDifference(const std::vector<std::vector<uint8_t>>& expected,
                            const std::vector<std::vector<uint8_t>>& actual) {
    if (expected.size() != actual.size()) {
        return "plane count " + std::to_string(actual.size()) + ", expected " +
               std::to_string(expected.size());
    }
    for (size_t p = 0; p < expected.size(); ++p) {
        if (expected[p].size() != actual[p].size()) {
            return "plane " + std::to_string(p) + " has " + std::to_string(actual[p].size()) +
                   " bytes, expected " + std::to_string(expected[p].size());
        }
        for (size_t i = 0; i < expected[p].size(); ++i) {
            if (expected[p][i] != actual[p][i]) {
                return "plane " + std::to_string(p) + " byte " + std::to_string(i) + ": " +
                       std::to_string(actual[p][i]) + ", expected " +
                       std::to_string(expected[p][i]);
            }
        }
    }
    return {};
}
