// Decodes the frames of a file in order on several threads: frame i on library decoder i % jobs,
// each decoder on a thread of its own with two frame buffers that the caller hands back, so
// no more than 2 * jobs frames are held besides the caller's. Each frame comes out in `format`
// (Repack from the decoder's own layout on the decoding thread). Packets are read one at a time
// through the decoder's file.
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/iohost/picture/avi_video_decoder.h"
#include "platform/iohost/session/blocking_queue.h"

namespace iohost {

class DecodePipeline {
public:
    // `decoder` was made with at least `jobs` decoders and outlives the pipeline.
    DecodePipeline(AviVideoDecoder& decoder, unsigned jobs, const PictureFormat& format);
    ~DecodePipeline();
    DecodePipeline(const DecodePipeline&) = delete;
    DecodePipeline& operator=(const DecodePipeline&) = delete;

    // The next frame into `frame` (buffers are swapped, not copied: the one `frame` held goes back
    // to the decoding threads); false after the last.
    // Throws what reading or decoding that frame threw (InputError naming it): every frame before
    // it has come out.
    [[nodiscard]] bool next(std::vector<uint8_t>& frame);

private:
    struct Decoded {
        std::vector<uint8_t> frame;
        std::exception_ptr error;
    };
    struct Lane {
        BlockingQueue<Decoded> done{2};
        BlockingQueue<std::vector<uint8_t>> spare{4};
        std::thread thread;
    };
    void run(unsigned lane);

    AviVideoDecoder& m_decoder;
    PictureFormat m_format;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    std::mutex m_reading;
    std::atomic<bool> m_stop{false};
    size_t m_next = 0;
};

}  // namespace iohost
