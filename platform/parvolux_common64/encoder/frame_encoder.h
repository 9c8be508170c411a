// Encodes the frames of one stream. Each slice is gathered, predicted and entropy coded on its
// own into a buffer of its own, on as many threads as asked, and copied into the packet as soon
// as the slices before it are done; the header goes last. The packet depends only on the frame,
// never on the thread count.
#ifndef PARVOLUX_COMMON64_ENCODER_FRAME_ENCODER_H
#define PARVOLUX_COMMON64_ENCODER_FRAME_ENCODER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/common/thread_pool.h"
#include "platform/parvolux_common64/encoder/chunk_encoder.h"
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
    struct Workspace {
        std::vector<uint8_t> ring8, residuals8;
        std::vector<uint16_t> ring16, residuals16;
        ChunkEncoder chunks;
    };

    void prepareWorkspace(Workspace& ws) const;
    template <class S>
    void encodeSlice(uint32_t slice, Workspace& ws, const FramePlanes& planes);

    StreamGeometry m_geometry;
    Predictor m_predictor = Predictor::Median;
    std::vector<std::unique_ptr<uint8_t[]>> m_sliceData;
    std::vector<uint32_t> m_chunkSizes;  // slice-major
    std::vector<uint32_t> m_sliceSizes;
    std::vector<std::unique_ptr<Workspace>> m_workspaces;
};

}  // namespace parvolux

#endif
