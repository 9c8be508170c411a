// Encodes the frames of one stream. Each slice is gathered and predicted, then each of its planes
// entropy coded into a buffer of its own, on as many threads as asked (slice_schedule), and
// copied into the packet as soon as the chunks before it are done; the header goes last. The packet
// depends only on the frame, never on the thread count.
#ifndef PARVOLUX_COMMON64_ENCODER_FRAME_ENCODER_H
#define PARVOLUX_COMMON64_ENCODER_FRAME_ENCODER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/common/thread_pool.h"
#include "platform/parvolux_common64/encoder/chunk_encoder.h"
#include "platform/parvolux_common64/encoder/slice_schedule.h"
#include "platform/parvolux_common64/format/frame_geometry.h"
#include "platform/parvolux_common64/format/predictor.h"

namespace parvolux {

class FrameEncoder {
public:
    // Allocates the slice buffers; throws std::bad_alloc.
    explicit FrameEncoder(const StreamGeometry& geometry);

    const StreamGeometry& geometry() const { return m_geometry; }
    void setPredictor(Predictor predictor) { m_predictor = predictor; }

    // Encodes a frame whose planes match the stream's raw geometry into out (bufferBound
    // bytes); answers the packet size. pool may be null. Throws std::bad_alloc.
    uint32_t encode(const FramePlanes& planes, uint8_t* out, ThreadPool* pool, unsigned threads);

private:
    class ChunkPlacer;
    struct Workspace {
        std::vector<uint8_t> ring8, residuals8;
        std::vector<uint16_t> ring16, residuals16;
        ChunkEncoder chunks;
    };

    void prepareWorkspace(Workspace& ws) const;
    template <class S>
    S* residuals(Workspace& ws, unsigned plane) const;
    template <class S>
    void predictSlice(uint32_t slice, Workspace& ws, const FramePlanes& planes);
    // Codes a chunk of the residuals that `owner` predicted, with the tables of `ws`.
    template <class S>
    void codeChunk(uint32_t slice, unsigned plane, Workspace& owner, Workspace& ws);
    // The thread in `slot` takes its share of the frame's work.
    template <class S>
    void work(unsigned slot, const FramePlanes& planes, ChunkPlacer& placer);

    StreamGeometry m_geometry;
    Predictor m_predictor = Predictor::Median;
    std::vector<std::unique_ptr<uint8_t[]>> m_chunkData;  // slice-major
    std::vector<uint32_t> m_chunkSizes;                   // slice-major
    SliceSchedule m_schedule;
    std::vector<std::unique_ptr<Workspace>> m_workspaces;
};

}  // namespace parvolux

#endif
