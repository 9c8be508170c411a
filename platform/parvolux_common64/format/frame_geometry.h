// Sizes derived from a frame's width and height: the planes of a raw frame as the caller hands
// them in, and the coded planes, slices and worst-case packet size of a stream. All arithmetic is
// 64-bit; a size whose byte counts do not fit 32 bits is refused, never wrapped.
#ifndef PARVOLUX_COMMON64_FORMAT_FRAME_GEOMETRY_H
#define PARVOLUX_COMMON64_FORMAT_FRAME_GEOMETRY_H

#include <cstdint>

#include "platform/parvolux_common64/format/format_catalog.h"

namespace parvolux {

struct RawPlaneSize {
    uint32_t rowBytes;
    uint32_t rows;
    uint32_t byteCount;  // rowBytes * rows
};

struct RawGeometry {
    unsigned planeCount = 0;
    RawPlaneSize plane[4] = {};
};

// False when width or height is 0 or a byte count (or their sum) exceeds 32 bits.
[[nodiscard]] bool makeRawGeometry(RawLayout layout, uint32_t width, uint32_t height,
                                   RawGeometry& out);

// Slices are made of row groups: one row of every plane, or for 4:2:0 two luma rows and one
// chroma row, so that every slice starts on a chroma row.
struct StreamGeometry {
    const StreamFormat* format = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    unsigned planes = 0;
    uint32_t planeWidth[4] = {};
    uint32_t planeHeight[4] = {};
    uint32_t groupCount = 0;
    uint32_t sliceCount = 0;
    uint32_t maxSliceRows[4] = {};  // the most rows any slice has in each plane
    uint32_t headerBytes = 0;
    uint32_t bufferBound = 0;  // no packet of this stream is larger

    uint32_t sliceGroup(uint32_t slice) const {
        return static_cast<uint32_t>(uint64_t{slice} * groupCount / sliceCount);
    }
    unsigned rowsPerGroup(unsigned plane) const;
    // First row of plane that belongs to group g (g may be groupCount).
    uint32_t planeRow(unsigned plane, uint32_t group) const;
    uint32_t sliceRows(unsigned plane, uint32_t slice) const {
        return planeRow(plane, sliceGroup(slice + 1)) - planeRow(plane, sliceGroup(slice));
    }
    // The largest chunk a plane slice of `samples` samples can take.
    uint64_t chunkBound(uint64_t samples) const;
    uint64_t sliceBound(uint32_t slice) const;
};

// Takes sliceCount from the frame size when `slices` is 0. False when the stream's buffers do
// not fit 32 bits.
[[nodiscard]] bool makeStreamGeometry(const StreamFormat& format, uint32_t width, uint32_t height,
                                      uint32_t slices, StreamGeometry& out);

// The slice count the encoder picks: enough for two or more cores, few enough that per-slice
// tables and prediction restarts cost little.
uint32_t defaultSliceCount(uint32_t width, uint32_t groupCount);

}  // namespace parvolux

#endif
