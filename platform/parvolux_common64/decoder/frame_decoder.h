// Decodes the packets of one stream: chunks to residuals, residuals to samples, samples into the
// caller's output planes. Checks the packet's header and chunk sizes against the stream before
// touching any chunk. Slices share nothing, so they are decoded on as many threads as asked. A
// task decodes several chunks at once (see ChunkDecoder): an RGB slice's planes, which are
// re-correlated together, or one YUV or luma plane of two to four neighbouring slices (see
// tasksPerPlane()), so that the threads' shares come in small, even pieces. Each thread keeps one
// task's samples, four plane slices at most, so memory stays far below a frame's.
#ifndef PARVOLUX_COMMON64_DECODER_FRAME_DECODER_H
#define PARVOLUX_COMMON64_DECODER_FRAME_DECODER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/parvolux_common64/common/thread_pool.h"
#include "platform/parvolux_common64/decoder/chunk_decoder.h"
#include "platform/parvolux_common64/decoder/row_scatterer.h"
#include "platform/parvolux_common64/format/frame_geometry.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

namespace parvolux {

class FrameDecoder {
public:
    // geometry's slice count is ignored; each packet names its own.
    FrameDecoder(const StreamGeometry& geometry, bool lowAligned);

    ParvoluxOutputLayout layout() const { return outputLayout(m_geometry, m_lowAligned); }

    // Status: kOk, kBadArgument for planes that do not fit the layout, kFailed for a corrupt
    // packet. pool may be null. Throws std::bad_alloc.
    int32_t decode(const uint8_t* packet, uint64_t size, const ParvoluxOutputPlane* planes,
                   ThreadPool* pool, unsigned threads);

private:
    struct Workspace {
        std::vector<uint8_t> samples8;  // the task's chunks, then the spare rows
        std::vector<uint16_t> samples16;
        ChunkDecoder chunks;
    };
    struct Chunk {
        uint32_t slice;
        unsigned plane;
    };

    bool planesFit(const ParvoluxOutputPlane* planes) const;
    bool readChunkTable(const uint8_t* packet, uint64_t size);
    // An RGB slice's planes, or up to four slices of one plane.
    static constexpr unsigned kMostChunks = 4;

    uint32_t mostSlicesPerTask() const;
    uint32_t tasksPerPlane() const;
    uint32_t taskCount() const;
    unsigned taskChunks(uint32_t task, Chunk (&chunks)[kMostChunks]) const;
    void orderTasks(uint32_t tasks);
    void prepareWorkspaces(unsigned count);
    // With a scatterer, each chunk's rows go to the caller's planes once unpredicted.
    template <class S>
    bool decodeChunks(Workspace& ws, const uint8_t* packet, const Chunk* chunks, unsigned count,
                      S* samples, const S** planeSamples, const RowScatterer<S>* scatterer);
    template <class S>
    bool decodeTask(uint32_t task, Workspace& ws, const uint8_t* packet,
                    const RowScatterer<S>& scatterer);
    template <class S>
    bool decodeSlices(const uint8_t* packet, const ParvoluxOutputPlane* planes, ThreadPool* pool,
                      unsigned threads);

    StreamGeometry m_geometry;
    StreamGeometry m_packet;  // the geometry with the current packet's slice count
    bool m_lowAligned;
    bool m_dense = false;  // the packet's codes take many bytes a sample (see tasksPerPlane())
    uint64_t m_packetSize = 0;
    std::vector<uint64_t> m_chunkOffsets;
    std::vector<uint32_t> m_chunkSizes;
    std::vector<std::unique_ptr<Workspace>> m_workspaces;
    std::vector<uint64_t> m_taskCost;
    std::vector<uint32_t> m_taskOrder;  // the tasks, costliest first
};

}  // namespace parvolux

#endif
