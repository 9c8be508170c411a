#include "platform/parvolux_common64/decoder/frame_decoder.h"

#include <algorithm>
#include <atomic>

#include "platform/parvolux_common64/common/byte_io.h"
#include "platform/parvolux_common64/common/status.h"
#include "platform/parvolux_common64/decoder/slice_unpredictor.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {
namespace {

template <class S>
S* samplesOf(std::vector<uint8_t>& v8, std::vector<uint16_t>& v16) {
    if constexpr (sizeof(S) == 1)
        return v8.data();
    else
        return v16.data();
}

}  // namespace

FrameDecoder::FrameDecoder(const StreamGeometry& geometry, bool lowAligned)
    : m_geometry(geometry), m_packet(geometry), m_lowAligned(lowAligned) {}

bool FrameDecoder::planesFit(const ParvoluxOutputPlane* planes) const {
    const ParvoluxOutputLayout l = layout();
    for (unsigned p = 0; p < l.planeCount; ++p) {
        const ParvoluxPlaneLayout& pl = l.plane[p];
        if (planes[p].data == nullptr || planes[p].stride < pl.rowBytes) return false;
        if (planes[p].byteCount < uint64_t{planes[p].stride} * (pl.height - 1) + pl.rowBytes)
            return false;
    }
    return true;
}

// Slices of one plane make a task, dealt out evenly, so that no task is left with one chunk to
// decode on its own: two or three of them, or three or four where the codes are dense (more than
// kDenseBytes bytes a sample: noise, camera pictures). There entropy decoding is most of the work
// and goes faster the more chunks share its lockstep; on sparse codes (clean pictures) the inverse
// prediction and the copy out weigh more, which smaller tasks keep in the cache and share out
// more evenly between threads.
constexpr uint32_t kSlicesPerTask = 3;
constexpr double kDenseBytes = 0.25;

uint32_t FrameDecoder::mostSlicesPerTask() const {
    return m_dense ? kSlicesPerTask + 1 : kSlicesPerTask;
}

uint32_t FrameDecoder::tasksPerPlane() const {
    const uint32_t slices = m_packet.sliceCount, most = mostSlicesPerTask();
    const uint32_t tasks = (slices + most - 1) / most;
    // Dense: three slices a task where they divide, a fourth only to take up the rest.
    return m_dense ? std::max(tasks, slices / kSlicesPerTask) : tasks;
}

uint32_t FrameDecoder::taskCount() const {
    return isRgb(m_packet.format->kind) ? m_packet.sliceCount : tasksPerPlane() * m_packet.planes;
}

void FrameDecoder::prepareWorkspaces(unsigned count) {
    const StreamGeometry& g = m_packet;
    size_t samples = 0;
    for (unsigned p = 0; p < g.planes; ++p) {
        const size_t plane = size_t{g.planeWidth[p]} * g.maxSliceRows[p];
        samples = isRgb(g.format->kind) ? samples + plane
                                        : std::max(samples, mostSlicesPerTask() * plane);
    }
    const size_t spareRows =
        g.format->bits == 8 ? kUnpredictSpareRows<uint8_t> : kUnpredictSpareRows<uint16_t>;
    samples += spareRows * g.width + 3 * kUnpredictReach;
    while (m_workspaces.size() < count) m_workspaces.push_back(std::make_unique<Workspace>());
    for (unsigned i = 0; i < count; ++i) {
        Workspace& ws = *m_workspaces[i];
        if (g.format->bits == 8)
            ws.samples8.resize(samples);
        else
            ws.samples16.resize(samples);
        ws.chunks.reserve(g.format->bits);
    }
}

// Decodes the chunks into consecutive stretches of samples, one after another, and answers
// where each begins; the unpredictor's spare rows follow the last.
template <class S>
bool FrameDecoder::decodeChunks(Workspace& ws, const uint8_t* packet, const Chunk* chunks,
                                unsigned count, S* samples, const S** planeSamples,
                                const RowScatterer<S>* scatterer) {
    const StreamGeometry& g = m_packet;
    const unsigned bits = g.format->bits;
    ChunkJob<S> jobs[ChunkDecoder::kMostJobs];
    S* at = samples;
    for (unsigned k = 0; k < count; ++k) {
        const Chunk& c = chunks[k];
        const size_t index = size_t{c.slice} * g.planes + c.plane;
        const size_t n = size_t{g.planeWidth[c.plane]} * g.sliceRows(c.plane, c.slice);
        const uint64_t offset = m_chunkOffsets[index], size = m_chunkSizes[index];
        const auto after = static_cast<size_t>(m_packetSize - offset - size);
        jobs[k] = {packet + offset, static_cast<size_t>(size), n, at, {}, after};
        planeSamples[k] = at;
        at += size_t{g.planeWidth[c.plane]} * g.maxSliceRows[c.plane];
    }
    if (!ws.chunks.decode(jobs, count, bits)) return false;
    for (unsigned k = 0; k < count; ++k) {
        const Chunk& c = chunks[k];
        unpredictSlice(jobs[k].predictor, jobs[k].res, g.planeWidth[c.plane],
                       g.sliceRows(c.plane, c.slice), bits, at + kUnpredictReach, jobs[k].flat);
        if (scatterer != nullptr) scatterer->writePlane(c.slice, c.plane, planeSamples[k]);
    }
    return true;
}

unsigned FrameDecoder::taskChunks(uint32_t task, Chunk (&chunks)[kMostChunks]) const {
    static_assert(kSlicesPerTask + 1 <= kMostChunks && kMostChunks <= ChunkDecoder::kMostJobs);
    const StreamGeometry& g = m_packet;
    if (isRgb(g.format->kind)) {
        for (unsigned p = 0; p < g.planes; ++p) chunks[p] = {task, p};
        return g.planes;
    }
    const uint32_t tasks = tasksPerPlane(), k = task % tasks;
    const unsigned plane = task / tasks;
    const auto first = static_cast<uint32_t>(uint64_t{k} * g.sliceCount / tasks);
    const auto count = static_cast<unsigned>((k + 1) * uint64_t{g.sliceCount} / tasks - first);
    for (unsigned c = 0; c < count; ++c) chunks[c] = {first + c, plane};
    return count;
}

// The biggest tasks first, so that what is left at the end is small and the threads end
// together: the chunks' bytes stand for the entropy decoding, their samples (a sixteenth each)
// for the rest.
void FrameDecoder::orderTasks(uint32_t tasks) {
    const StreamGeometry& g = m_packet;
    m_taskCost.resize(tasks);
    m_taskOrder.resize(tasks);
    for (uint32_t t = 0; t < tasks; ++t) {
        Chunk chunks[kMostChunks];
        const unsigned count = taskChunks(t, chunks);
        uint64_t cost = 0;
        for (unsigned k = 0; k < count; ++k) {
            const Chunk& c = chunks[k];
            cost += m_chunkSizes[size_t{c.slice} * g.planes + c.plane] +
                    uint64_t{g.planeWidth[c.plane]} * g.sliceRows(c.plane, c.slice) / 16;
        }
        m_taskCost[t] = cost;
        m_taskOrder[t] = t;
    }
    std::stable_sort(m_taskOrder.begin(), m_taskOrder.end(),
                     [&](uint32_t a, uint32_t b) { return m_taskCost[a] > m_taskCost[b]; });
}

template <class S>
bool FrameDecoder::decodeTask(uint32_t task, Workspace& ws, const uint8_t* packet,
                              const RowScatterer<S>& scatterer) {
    Chunk chunks[kMostChunks];
    const unsigned count = taskChunks(task, chunks);
    const S* decoded[kMostChunks] = {};
    // A plane's rows go out as soon as they are unpredicted, while still in the cache; an RGB
    // slice's planes go out together.
    const bool rgb = isRgb(m_packet.format->kind);
    if (!decodeChunks(ws, packet, chunks, count, samplesOf<S>(ws.samples8, ws.samples16), decoded,
                      rgb ? nullptr : &scatterer))
        return false;
    if (rgb) scatterer.writeRgb(task, decoded);
    return true;
}

template <class S>
bool FrameDecoder::decodeSlices(const uint8_t* packet, const ParvoluxOutputPlane* planes,
                                ThreadPool* pool, unsigned threads) {
    const uint32_t tasks = taskCount();
    threads = pool == nullptr ? 1 : std::max(1u, std::min(threads, tasks));
    prepareWorkspaces(threads);
    orderTasks(tasks);
    const RowScatterer<S> scatterer(m_packet, planes, m_lowAligned);
    std::atomic<bool> failed{false};
    const std::function<void(uint32_t, unsigned)> run = [&](uint32_t task, unsigned slot) {
        // Once one chunk is found corrupt the packet fails; the rest need not be decoded.
        if (failed.load(std::memory_order_relaxed)) return;
        if (!decodeTask<S>(m_taskOrder[task], *m_workspaces[slot], packet, scatterer))
            failed.store(true, std::memory_order_relaxed);
    };
    if (pool != nullptr)
        pool->parallelFor(tasks, threads, run);
    else
        for (uint32_t t = 0; t < tasks; ++t) run(t, 0);
    return !failed.load();
}

bool FrameDecoder::readChunkTable(const uint8_t* packet, uint64_t size) {
    const size_t chunks = size_t{m_packet.sliceCount} * m_packet.planes;
    const uint64_t header = kFrameHeaderFixed + uint64_t{kChunkSizeField} * chunks;
    if (size < header) return false;
    m_packetSize = size;
    m_chunkOffsets.resize(chunks);
    m_chunkSizes.resize(chunks);
    uint64_t offset = header;
    for (size_t i = 0; i < chunks; ++i) {
        m_chunkSizes[i] = get32(packet + kFrameHeaderFixed + kChunkSizeField * i);
        m_chunkOffsets[i] = offset;
        offset += m_chunkSizes[i];
    }
    return offset == size;
}

int32_t FrameDecoder::decode(const uint8_t* packet, uint64_t size,
                             const ParvoluxOutputPlane* planes, ThreadPool* pool,
                             unsigned threads) {
    if (planes == nullptr || !planesFit(planes)) return kBadArgument;
    if (packet == nullptr || size < kFrameHeaderFixed) return kFailed;
    if (packet[0] != kBitstreamVersion || packet[1] != m_geometry.planes) return kFailed;
    const uint32_t slices = get16(packet + 2);
    if (slices == 0 || slices > m_geometry.groupCount) return kFailed;
    if (slices != m_packet.sliceCount && !makeStreamGeometry(*m_geometry.format, m_geometry.width,
                                                             m_geometry.height, slices, m_packet))
        return kFailed;
    if (!readChunkTable(packet, size)) return kFailed;
    uint64_t samples = 0;
    for (unsigned p = 0; p < m_packet.planes; ++p)
        samples += uint64_t{m_packet.planeWidth[p]} * m_packet.planeHeight[p];
    m_dense = static_cast<double>(size) > kDenseBytes * static_cast<double>(samples);
    const bool ok = m_packet.format->bits == 8
                        ? decodeSlices<uint8_t>(packet, planes, pool, threads)
                        : decodeSlices<uint16_t>(packet, planes, pool, threads);
    return ok ? kOk : kFailed;
}

}  // namespace parvolux
