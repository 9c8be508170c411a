#include "platform/iohost/synthetic/test_pattern.h"

#include <algorithm>
#include <cstring>

namespace iohost {

namespace {

struct Rgb {
    uint32_t r, g, b;
};

struct Rect {
    uint32_t x0, y0, x1, y1;  // half-open
};

// The still part at (x, y): bars over a gradient with a little deterministic texture, so the
// codec sees detail as well as slopes.
Rgb BackgroundColour(uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    static const Rgb kBars[] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                {235, 16, 235},  {235, 16, 16},  {16, 16, 235}};
    if (y < h / 3) return kBars[uint64_t{x} * 7 / w];
    const uint32_t noise = (x * 2654435761u ^ y * 40503u) >> 28;
    const uint32_t g = (x * 255 / w + y * 255 / h) / 2;
    return {g, (g + noise) & 255, (255 - g + noise) & 255};
}

Rect BoxOf(uint32_t w, uint32_t h, uint64_t t) {
    const uint32_t box = std::min(std::max<uint32_t>(h / 4, 2), w);
    const uint64_t span = w > box ? w - box : 1;
    const uint64_t step = t * 7 % (2 * span);
    const auto bx = static_cast<uint32_t>(step < span ? step : 2 * span - step);
    const uint32_t by = h / 2 - std::min(h / 2, box / 2);
    return {bx, by, std::min(bx + box, w), std::min(by + box, h)};
}

uint32_t Scale(uint32_t v8, uint32_t depth) {
    return depth == 8 ? v8 : (v8 << (depth - 8)) | (v8 >> (16 - depth));
}

void Put(uint8_t*& p, uint32_t v, uint32_t bytes) {
    *p++ = static_cast<uint8_t>(v);
    if (bytes == 2) *p++ = static_cast<uint8_t>(v >> 8);
}

// BT.601 studio range, integer arithmetic; component 0 Y, 1 U, 2 V.
uint32_t YuvOf(const Rgb& c, unsigned component) {
    const int r = static_cast<int>(c.r), g = static_cast<int>(c.g), b = static_cast<int>(c.b);
    int v = 0;
    if (component == 0) v = (66 * r + 129 * g + 25 * b + 128) / 256 + 16;
    if (component == 1) v = (-38 * r - 74 * g + 112 * b + 128) / 256 + 128;
    if (component == 2) v = (112 * r - 94 * g - 18 * b + 128) / 256 + 128;
    return static_cast<uint32_t>(std::clamp(v, 0, 255));
}

// Sample (component) values of a colour in the format, 8-bit scaled to the depth.
void SamplesOf(const PictureFormat& f, const Rgb& c, uint32_t alpha, uint32_t out[4]) {
    if (f.packing == Packing::Planar) {
        for (unsigned i = 0; i < 3; ++i) out[i] = Scale(YuvOf(c, i), f.bitDepth);
    } else {
        out[0] = Scale(c.r, f.bitDepth);
        out[1] = Scale(c.g, f.bitDepth);
        out[2] = Scale(c.b, f.bitDepth);
        out[3] = Scale(alpha, f.bitDepth);
    }
}

// Writes plane `plane` of `f` over the luma-coordinate rectangle, the colour of each sample from
// `colour(x, y)` in luma coordinates.
template <class Colour>
void PaintPlane(const PictureFormat& f, uint8_t* frame, unsigned plane, const Rect& r,
                Colour&& colour) {
    uint8_t* base = frame;
    for (unsigned i = 0; i < plane; ++i) base += f.planeBytes(i);
    const PlaneSize size = f.plane(plane);
    const uint32_t sx = (f.width + size.width - 1) / size.width;
    const uint32_t sy = (f.height + size.height - 1) / size.height;
    const uint32_t bytes = f.bytesPerSample();
    const uint32_t x0 = r.x0 / sx, x1 = std::min((r.x1 + sx - 1) / sx, size.width);
    const uint32_t y0 = r.y0 / sy, y1 = std::min((r.y1 + sy - 1) / sy, size.height);
    for (uint32_t y = y0; y < y1; ++y) {
        uint8_t* p = base + (uint64_t{y} * size.width + x0) * size.components * bytes;
        for (uint32_t x = x0; x < x1; ++x) {
            uint32_t s[4];
            colour(std::min(x * sx, f.width - 1), std::min(y * sy, f.height - 1), s);
            if (f.packing == Packing::Planar) {
                Put(p, s[plane], bytes);
            } else if (f.packing == Packing::Gbr || f.packing == Packing::Gbra) {
                static constexpr unsigned kGbr[4] = {1, 2, 0, 3};  // planes G, B, R, A
                Put(p, s[kGbr[plane]], bytes);
            } else {
                for (uint32_t c = 0; c < size.components; ++c) Put(p, s[c], bytes);
            }
        }
    }
}

template <class Colour>
void Paint(const PictureFormat& f, uint8_t* frame, const Rect& r, Colour&& colour) {
    for (unsigned plane = 0; plane < f.planeCount(); ++plane)
        PaintPlane(f, frame, plane, r, colour);
}

}  // namespace

TestPattern::TestPattern(const PictureFormat& format, uint64_t frames)
    : m_format(format), m_frames(frames), m_background(format.frameBytes()) {
    renderBackground(format, m_background.data());
}

bool TestPattern::read(uint8_t* frame) {
    if (m_next >= m_frames) return false;
    std::memcpy(frame, m_background.data(), m_background.size());
    drawOverlays(m_format, m_next++, frame);
    return true;
}

void TestPattern::renderBackground(const PictureFormat& f, uint8_t* frame) {
    const uint32_t w = f.width, h = f.height;
    Paint(f, frame, {0, 0, w, h}, [&](uint32_t x, uint32_t y, uint32_t s[4]) {
        SamplesOf(f, BackgroundColour(x, y, w, h), (x + y) & 255, s);
    });
}

void TestPattern::drawOverlays(const PictureFormat& f, uint64_t t, uint8_t* frame) {
    const uint32_t w = f.width, h = f.height;
    uint32_t box[4];
    SamplesOf(f,
              {static_cast<uint32_t>(40 + t * 13 % 200), 200, static_cast<uint32_t>(255 - t % 256)},
              static_cast<uint32_t>(t % 256), box);
    Paint(f, frame, BoxOf(w, h, t),
          [&](uint32_t, uint32_t, uint32_t s[4]) { std::copy(box, box + 4, s); });
    // The frame number in binary, 16 cells across the bottom.
    uint32_t on[4], off[4];
    SamplesOf(f, {235, 235, 235}, 255, on);
    SamplesOf(f, {16, 16, 16}, 255, off);
    const uint32_t strip = std::max<uint32_t>(h / 16, 1);
    Paint(f, frame, {0, h - std::min(strip, h), w, h}, [&](uint32_t x, uint32_t, uint32_t s[4]) {
        const uint32_t bit = static_cast<uint32_t>(uint64_t{x} * 16 / w);
        const uint32_t* c = (t >> (15 - bit)) & 1 ? on : off;
        std::copy(c, c + 4, s);
    });
}

}  // namespace iohost
