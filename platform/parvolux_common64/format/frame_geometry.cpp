#include "platform/parvolux_common64/format/frame_geometry.h"

#include <algorithm>
#include <limits>

#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {
namespace {

constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();

bool addPlane(RawGeometry& g, uint64_t rowBytes, uint64_t rows) {
    const uint64_t bytes = rowBytes * rows;
    if (rowBytes > kMax32 || rows > kMax32 || bytes > kMax32) return false;
    g.plane[g.planeCount++] = {static_cast<uint32_t>(rowBytes), static_cast<uint32_t>(rows),
                               static_cast<uint32_t>(bytes)};
    return true;
}

}  // namespace

bool makeRawGeometry(RawLayout layout, uint32_t width, uint32_t height, RawGeometry& out) {
    out = RawGeometry{};
    if (width == 0 || height == 0) return false;
    const uint64_t w = width, h = height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    bool ok = true;
    switch (layout) {
        case RawLayout::Rgb24:
            ok = addPlane(out, 3 * w, h);
            break;
        case RawLayout::Rgba32:
            ok = addPlane(out, 4 * w, h);
            break;
        case RawLayout::Uyvy:
            ok = addPlane(out, 4 * cw, h);
            break;
        case RawLayout::Rgb48:
            ok = addPlane(out, 6 * w, h);
            break;
        case RawLayout::Rgba64:
            ok = addPlane(out, 8 * w, h);
            break;
        case RawLayout::Yuv444P8:
            ok = addPlane(out, w, h) && addPlane(out, w, h) && addPlane(out, w, h);
            break;
        case RawLayout::Yuv420P8:
            ok = addPlane(out, w, h) && addPlane(out, cw, ch) && addPlane(out, cw, ch);
            break;
        case RawLayout::Yuv444P16:
            ok = addPlane(out, 2 * w, h) && addPlane(out, 2 * w, h) && addPlane(out, 2 * w, h);
            break;
        case RawLayout::Yuv422P16:
            ok = addPlane(out, 2 * w, h) && addPlane(out, 2 * cw, h) && addPlane(out, 2 * cw, h);
            break;
    }
    uint64_t total = 0;
    for (unsigned p = 0; p < out.planeCount; ++p) total += out.plane[p].byteCount;
    return ok && total <= kMax32;
}

unsigned StreamGeometry::rowsPerGroup(unsigned plane) const {
    return format->kind == StreamKind::Yuv420 && plane == 0 ? 2 : 1;
}

uint32_t StreamGeometry::planeRow(unsigned plane, uint32_t group) const {
    const uint64_t row = uint64_t{group} * rowsPerGroup(plane);
    return static_cast<uint32_t>(std::min<uint64_t>(row, planeHeight[plane]));
}

uint64_t StreamGeometry::chunkBound(uint64_t samples) const {
    const uint64_t raw = 1 + (samples * format->bits + 7) / 8;
    return std::max<uint64_t>(raw, kConstantChunkSize);
}

uint64_t StreamGeometry::sliceBound(uint32_t slice) const {
    uint64_t total = 0;
    for (unsigned p = 0; p < planes; ++p)
        total += chunkBound(uint64_t{planeWidth[p]} * sliceRows(p, slice));
    return total;
}

// A multiple of four slices from four on, so that two, four or eight threads get equal shares
// (15 slices on two threads give at most 15/8 of one thread's speed).
uint32_t defaultSliceCount(uint32_t width, uint32_t groupCount) {
    const uint64_t samples = uint64_t{width} * groupCount;
    uint64_t bySize = std::clamp<uint64_t>(samples / 131072, 1, 32);
    if (bySize >= 4) bySize = (bySize + 3) / 4 * 4;
    const uint64_t byRows = std::max<uint64_t>(1, groupCount / 8);
    return static_cast<uint32_t>(std::min(bySize, byRows));
}

bool makeStreamGeometry(const StreamFormat& format, uint32_t width, uint32_t height,
                        uint32_t slices, StreamGeometry& out) {
    out = StreamGeometry{};
    if (width == 0 || height == 0) return false;
    out.format = &format;
    out.width = width;
    out.height = height;
    out.planes = planeCount(format.kind);
    for (unsigned p = 0; p < out.planes; ++p) {
        const unsigned sx = planeShiftX(format.kind, p), sy = planeShiftY(format.kind, p);
        out.planeWidth[p] = static_cast<uint32_t>((uint64_t{width} + (1u << sx) - 1) >> sx);
        out.planeHeight[p] = static_cast<uint32_t>((uint64_t{height} + (1u << sy) - 1) >> sy);
    }
    out.groupCount = format.kind == StreamKind::Yuv420 ? out.planeHeight[1] : height;
    out.sliceCount = slices != 0 ? slices : defaultSliceCount(width, out.groupCount);
    if (out.sliceCount > out.groupCount || out.sliceCount > kMaxSlices) return false;

    const uint64_t header =
        kFrameHeaderFixed + uint64_t{kChunkSizeField} * out.sliceCount * out.planes;
    uint64_t bound = header;
    for (uint32_t s = 0; s < out.sliceCount; ++s) {
        for (unsigned p = 0; p < out.planes; ++p)
            out.maxSliceRows[p] = std::max(out.maxSliceRows[p], out.sliceRows(p, s));
        bound += out.sliceBound(s);
    }
    // Row buffers hold a plane row in 16-bit samples at most; keep their byte counts in range.
    if (bound > kMax32 || uint64_t{width} * 8 > kMax32) return false;
    out.headerBytes = static_cast<uint32_t>(header);
    out.bufferBound = static_cast<uint32_t>(bound);
    return true;
}

}  // namespace parvolux
