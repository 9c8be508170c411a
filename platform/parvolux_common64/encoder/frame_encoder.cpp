#include "platform/parvolux_common64/encoder/frame_encoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/parvolux_common64/common/byte_io.h"
#include "platform/parvolux_common64/encoder/row_gatherer.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {
namespace {

constexpr size_t kWriterSlack = 8;

template <class S>
S* ringOf(std::vector<uint8_t>& r8, std::vector<uint16_t>& r16) {
    if constexpr (sizeof(S) == 1)
        return r8.data();
    else
        return r16.data();
}

}  // namespace

FrameEncoder::FrameEncoder(const StreamGeometry& geometry) : m_geometry(geometry) {
    // Worst-case sized and left uninitialised: zeroing them would touch every page of a bound
    // that real frames rarely approach.
    m_sliceData.resize(geometry.sliceCount);
    for (uint32_t s = 0; s < geometry.sliceCount; ++s)
        m_sliceData[s].reset(
            new uint8_t[static_cast<size_t>(geometry.sliceBound(s)) + kWriterSlack]);
    m_chunkSizes.resize(size_t{geometry.sliceCount} * geometry.planes);
    m_sliceSizes.resize(geometry.sliceCount);
}

void FrameEncoder::prepareWorkspace(Workspace& ws) const {
    const StreamGeometry& g = m_geometry;
    const size_t ring = size_t{RowGatherer<uint8_t>::kRingRows} * g.planes * g.width;
    size_t residuals = 0;
    for (unsigned p = 0; p < g.planes; ++p)
        residuals += size_t{g.planeWidth[p]} * g.maxSliceRows[p];
    if (g.format->bits == 8) {
        ws.ring8.resize(ring);
        ws.residuals8.resize(residuals);
    } else {
        ws.ring16.resize(ring);
        ws.residuals16.resize(residuals);
    }
    ws.chunks.reserve(g.format->bits);
}

template <class S>
void FrameEncoder::encodeSlice(uint32_t slice, Workspace& ws, const FramePlanes& planes) {
    const StreamGeometry& g = m_geometry;
    const unsigned bits = g.format->bits;
    const S mask = static_cast<S>((1u << bits) - 1);
    S* residuals = ringOf<S>(ws.residuals8, ws.residuals16);
    S* planeResiduals[4] = {};
    size_t offset = 0;
    for (unsigned p = 0; p < g.planes; ++p) {
        planeResiduals[p] = residuals + offset;
        offset += size_t{g.planeWidth[p]} * g.maxSliceRows[p];
    }

    RowGatherer<S> gatherer(g, planes, ringOf<S>(ws.ring8, ws.ring16));
    GroupRows<S> rows;
    const S* above[4] = {};
    S* next[4];
    std::copy(planeResiduals, planeResiduals + 4, next);
    for (uint32_t group = g.sliceGroup(slice); group < g.sliceGroup(slice + 1); ++group) {
        gatherer.gather(group, rows);
        for (unsigned p = 0; p < g.planes; ++p) {
            for (unsigned k = 0; k < rows.count[p]; ++k) {
                predictRow(m_predictor, rows.row[p][k], above[p], g.planeWidth[p], mask, next[p]);
                above[p] = rows.row[p][k];
                next[p] += g.planeWidth[p];
            }
        }
    }

    uint8_t* out = m_sliceData[slice].get();
    size_t size = 0;
    for (unsigned p = 0; p < g.planes; ++p) {
        const size_t n = size_t{g.planeWidth[p]} * g.sliceRows(p, slice);
        const size_t chunk = ws.chunks.encode(planeResiduals[p], n, bits, m_predictor, out + size);
        m_chunkSizes[size_t{slice} * g.planes + p] = static_cast<uint32_t>(chunk);
        size += chunk;
    }
    m_sliceSizes[slice] = static_cast<uint32_t>(size);
}

uint32_t FrameEncoder::encode(const FramePlanes& planes, uint8_t* out, ThreadPool* pool,
                              unsigned threads) {
    const StreamGeometry& g = m_geometry;
    threads = pool == nullptr ? 1 : std::min(threads, g.sliceCount);
    while (m_workspaces.size() < threads) {
        auto ws = std::make_unique<Workspace>();
        prepareWorkspace(*ws);
        m_workspaces.push_back(std::move(ws));
    }

    // A slice goes into the packet as soon as every slice before it has its size, so the copies
    // overlap the coding of later slices instead of waiting for a pass of their own.
    std::mutex placing;
    std::vector<uint8_t> coded(g.sliceCount, 0);
    uint32_t placed = 0, total = g.headerBytes;
    const std::function<void(uint32_t, unsigned)> encodeTask = [&](uint32_t slice, unsigned slot) {
        if (g.format->bits == 8)
            encodeSlice<uint8_t>(slice, *m_workspaces[slot], planes);
        else
            encodeSlice<uint16_t>(slice, *m_workspaces[slot], planes);
        uint32_t from = 0, to = 0, at = 0;
        {
            std::lock_guard lock(placing);
            coded[slice] = 1;
            from = placed;
            at = total;
            while (placed < g.sliceCount && coded[placed] != 0) total += m_sliceSizes[placed++];
            to = placed;
        }
        for (uint32_t s = from; s < to; at += m_sliceSizes[s++])
            std::memcpy(out + at, m_sliceData[s].get(), m_sliceSizes[s]);
    };
    if (pool != nullptr)
        pool->parallelFor(g.sliceCount, threads, encodeTask);
    else
        for (uint32_t s = 0; s < g.sliceCount; ++s) encodeTask(s, 0);

    out[0] = kBitstreamVersion;
    out[1] = static_cast<uint8_t>(g.planes);
    put16(out + 2, g.sliceCount);
    for (size_t i = 0; i < m_chunkSizes.size(); ++i)
        put32(out + kFrameHeaderFixed + kChunkSizeField * i, m_chunkSizes[i]);
    return total;
}

}  // namespace parvolux
