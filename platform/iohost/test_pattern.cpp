#include "platform/iohost/test_pattern.h"

#include <algorithm>
#include <cstring>

namespace iohost {

namespace {

constexpr uint64_t kCycleBytes = 96ull << 20;
constexpr uint64_t kMaxCycle = 24;

struct Rgb {
    uint32_t r, g, b;
};

// Full-scale 8-bit colour of the pattern at (x, y) in frame `t`.
Rgb PatternColour(uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint64_t t) {
    static const Rgb kBars[] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                {235, 16, 235},  {235, 16, 16},  {16, 16, 235}};
    const uint32_t box = std::max<uint32_t>(h / 4, 2);
    const uint64_t span = w > box ? w - box : 1;
    const uint64_t step = t * 7 % (2 * span);
    const uint32_t bx = static_cast<uint32_t>(step < span ? step : 2 * span - step);
    const uint32_t by = h / 2 - std::min(h / 2, box / 2);
    if (x >= bx && x < bx + box && y >= by && y < by + box)
        return {static_cast<uint32_t>(40 + t * 13 % 200), 200,
                static_cast<uint32_t>(255 - t % 256)};
    if (y < h / 3) return kBars[uint64_t{x} * 7 / w];
    if (y >= h - std::max<uint32_t>(h / 16, 1)) {  // counter strip: the frame number in binary
        const uint32_t bit = x * 16 / w;
        return (t >> (15 - bit)) & 1 ? Rgb{235, 235, 235} : Rgb{16, 16, 16};
    }
    // Gradient plus a little deterministic texture, so the codec sees detail as well as slopes.
    const uint32_t noise = (x * 2654435761u ^ y * 40503u) >> 28;
    const uint32_t g = (x * 255 / w + y * 255 / h) / 2;
    return {g, (g + noise) & 255, (255 - g + noise) & 255};
}

uint32_t Scale(uint32_t v8, uint32_t depth) {
    return depth == 8 ? v8 : (v8 << (depth - 8)) | (v8 >> (16 - depth));
}

void Put(uint8_t*& p, uint32_t v, uint32_t bytes) {
    *p++ = static_cast<uint8_t>(v);
    if (bytes == 2) *p++ = static_cast<uint8_t>(v >> 8);
}

}  // namespace

TestPattern::TestPattern(const PictureFormat& format, uint64_t frames)
    : m_format(format), m_frames(frames) {
    const uint64_t bytes = std::max<uint64_t>(format.frameBytes(), 1);
    const uint64_t cycle = std::clamp<uint64_t>(kCycleBytes / bytes, 1, kMaxCycle);
    m_cycle.resize(static_cast<size_t>(std::min(cycle, std::max<uint64_t>(frames, 1))));
    for (size_t i = 0; i < m_cycle.size(); ++i) {
        m_cycle[i].resize(format.frameBytes());
        render(format, i, m_cycle[i].data());
    }
}

bool TestPattern::read(uint8_t* frame) {
    if (m_next >= m_frames) return false;
    const auto& picture = m_cycle[m_next % m_cycle.size()];
    std::memcpy(frame, picture.data(), picture.size());
    ++m_next;
    return true;
}

void TestPattern::render(const PictureFormat& f, uint64_t index, uint8_t* frame) {
    const uint32_t w = f.width, h = f.height, depth = f.bitDepth, bytes = f.bytesPerSample();
    uint8_t* p = frame;
    if (f.packing != Packing::Planar) {
        const bool alpha = f.packing == Packing::Rgba;
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                const Rgb c = PatternColour(x, y, w, h, index);
                Put(p, Scale(c.r, depth), bytes);
                Put(p, Scale(c.g, depth), bytes);
                Put(p, Scale(c.b, depth), bytes);
                if (alpha)
                    Put(p, Scale((x + y + static_cast<uint32_t>(index)) & 255, depth), bytes);
            }
        }
        return;
    }
    // BT.601 studio range, integer arithmetic.
    auto luma = [](const Rgb& c) { return (66 * c.r + 129 * c.g + 25 * c.b + 128) / 256 + 16; };
    auto cb = [](const Rgb& c) {
        return static_cast<uint32_t>((-38 * int(c.r) - 74 * int(c.g) + 112 * int(c.b) + 128) / 256 +
                                     128);
    };
    auto cr = [](const Rgb& c) {
        return static_cast<uint32_t>((112 * int(c.r) - 94 * int(c.g) - 18 * int(c.b) + 128) / 256 +
                                     128);
    };
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            Put(p, Scale(std::min(luma(PatternColour(x, y, w, h, index)), 255u), depth), bytes);
    for (unsigned plane = 1; plane < f.planeCount(); ++plane) {
        const PlaneSize size = f.plane(plane);
        const uint32_t sx = w / size.width + (w % size.width != 0);
        const uint32_t sy = h / size.height + (h % size.height != 0);
        for (uint32_t y = 0; y < size.height; ++y) {
            for (uint32_t x = 0; x < size.width; ++x) {
                const Rgb c =
                    PatternColour(std::min(x * sx, w - 1), std::min(y * sy, h - 1), w, h, index);
                Put(p, Scale(std::min(plane == 1 ? cb(c) : cr(c), 255u), depth), bytes);
            }
        }
    }
}

}  // namespace iohost
