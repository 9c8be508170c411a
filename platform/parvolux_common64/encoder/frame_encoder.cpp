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

// A chunk goes into the packet as soon as every chunk before it has its size, so the copies
// overlap the coding of later chunks instead of waiting for a pass of their own.
class FrameEncoder::ChunkPlacer {
public:
    ChunkPlacer(FrameEncoder& encoder, uint8_t* out)
        : m_encoder(encoder),
          m_out(out),
          m_coded(encoder.m_chunkData.size(), 0),
          m_total(encoder.m_geometry.headerBytes) {}

    void coded(size_t chunk) {
        size_t from = 0, to = 0;
        uint32_t at = 0;
        {
            std::lock_guard lock(m_mutex);
            m_coded[chunk] = 1;
            from = m_placed;
            at = m_total;
            while (m_placed < m_coded.size() && m_coded[m_placed] != 0)
                m_total += m_encoder.m_chunkSizes[m_placed++];
            to = m_placed;
        }
        for (size_t c = from; c < to; at += m_encoder.m_chunkSizes[c++])
            std::memcpy(m_out + at, m_encoder.m_chunkData[c].get(), m_encoder.m_chunkSizes[c]);
    }

    uint32_t total() const { return m_total; }

private:
    FrameEncoder& m_encoder;
    uint8_t* m_out;
    std::mutex m_mutex;
    std::vector<uint8_t> m_coded;
    size_t m_placed = 0;
    uint32_t m_total;
};

FrameEncoder::FrameEncoder(const StreamGeometry& geometry) : m_geometry(geometry) {
    // Worst-case sized and left uninitialised: zeroing them would touch every page of a bound
    // that real frames rarely approach.
    for (uint32_t s = 0; s < geometry.sliceCount; ++s)
        for (unsigned p = 0; p < geometry.planes; ++p) {
            const uint64_t samples = uint64_t{geometry.planeWidth[p]} * geometry.sliceRows(p, s);
            m_chunkData.emplace_back(
                new uint8_t[static_cast<size_t>(geometry.chunkBound(samples)) + kWriterSlack]);
        }
    m_chunkSizes.resize(m_chunkData.size());
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
S* FrameEncoder::residuals(Workspace& ws, unsigned plane) const {
    size_t offset = 0;
    for (unsigned p = 0; p < plane; ++p)
        offset += size_t{m_geometry.planeWidth[p]} * m_geometry.maxSliceRows[p];
    return ringOf<S>(ws.residuals8, ws.residuals16) + offset;
}

template <class S>
void FrameEncoder::predictSlice(uint32_t slice, Workspace& ws, const FramePlanes& planes) {
    const StreamGeometry& g = m_geometry;
    const S mask = static_cast<S>((1u << g.format->bits) - 1);
    RowGatherer<S> gatherer(g, planes, ringOf<S>(ws.ring8, ws.ring16));
    GroupRows<S> rows;
    const S* above[4] = {};
    S* next[4] = {};
    for (unsigned p = 0; p < g.planes; ++p) next[p] = residuals<S>(ws, p);
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
}

template <class S>
void FrameEncoder::codeChunk(uint32_t slice, unsigned plane, Workspace& owner, Workspace& ws) {
    const StreamGeometry& g = m_geometry;
    const size_t chunk = size_t{slice} * g.planes + plane;
    const size_t n = size_t{g.planeWidth[plane]} * g.sliceRows(plane, slice);
    m_chunkSizes[chunk] = static_cast<uint32_t>(ws.chunks.encode(
        residuals<S>(owner, plane), n, g.format->bits, m_predictor, m_chunkData[chunk].get()));
}

template <class S>
void FrameEncoder::work(unsigned slot, const FramePlanes& planes, ChunkPlacer& placer) {
    Workspace& ws = *m_workspaces[slot];
    for (;;) {
        const SliceSchedule::Work w = m_schedule.next(slot);
        if (w.step == SliceSchedule::Step::Done) return;
        if (w.step == SliceSchedule::Step::Predict) {
            predictSlice<S>(w.slice, ws, planes);
            m_schedule.predicted(slot, w.slice);
        } else {
            codeChunk<S>(w.slice, w.plane, *m_workspaces[w.owner], ws);
            placer.coded(size_t{w.slice} * m_geometry.planes + w.plane);
        }
    }
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

    m_schedule.reset(g.sliceCount, g.planes, threads);
    ChunkPlacer placer(*this, out);
    const std::function<void(uint32_t, unsigned)> task = [&](uint32_t, unsigned slot) {
        if (g.format->bits == 8)
            work<uint8_t>(slot, planes, placer);
        else
            work<uint16_t>(slot, planes, placer);
    };
    // One task a thread: each runs the schedule until the frame's work is all handed out.
    if (pool != nullptr)
        pool->parallelFor(threads, threads, task);
    else
        task(0, 0);

    out[0] = kBitstreamVersion;
    out[1] = static_cast<uint8_t>(g.planes);
    put16(out + 2, g.sliceCount);
    for (size_t i = 0; i < m_chunkSizes.size(); ++i)
        put32(out + kFrameHeaderFixed + kChunkSizeField * i, m_chunkSizes[i]);
    return placer.total();
}

}  // namespace parvolux
