#include "platform/iohost/decoding/decode_pipeline.h"

#include "platform/iohost/files/stop_request.h"

namespace iohost {

DecodePipeline::DecodePipeline(AviVideoDecoder& decoder, unsigned jobs, const PictureFormat& format)
    : m_decoder(decoder), m_format(format) {
    // Two buffers a lane, passed round: the decoding threads never allocate after the first.
    for (unsigned j = 0; j < std::max(1u, jobs); ++j) {
        m_lanes.push_back(std::make_unique<Lane>());
        for (int b = 0; b < 2; ++b) (void)m_lanes.back()->spare.push({});
    }
    for (unsigned j = 0; j < m_lanes.size(); ++j)
        m_lanes[j]->thread = std::thread([this, j] { run(j); });
}

DecodePipeline::~DecodePipeline() {
    m_stop = true;
    for (auto& lane : m_lanes) {
        lane->done.close();
        lane->spare.close();
    }
    for (auto& lane : m_lanes) lane->thread.join();
}

void DecodePipeline::run(unsigned lane) {
    LeaveStopSignalsToOtherThreads();
    Lane& me = *m_lanes[lane];
    const PictureFormat& decoded = m_decoder.format();
    const bool repack =
        m_format.packing != decoded.packing || m_format.bitDepth != decoded.bitDepth;
    std::vector<uint8_t> packet, native(repack ? decoded.frameBytes() : 0);
    for (size_t i = lane; i < m_decoder.frameCount() && !m_stop; i += m_lanes.size()) {
        std::optional<std::vector<uint8_t>> buffer = me.spare.pop();
        if (!buffer) return;
        Decoded out{std::move(*buffer), nullptr};
        try {
            {
                std::lock_guard lock(m_reading);
                m_decoder.readPacket(i, packet);
            }
            out.frame.resize(static_cast<size_t>(m_format.frameBytes()));
            m_decoder.decodePacket(i, packet, repack ? native.data() : out.frame.data(), lane);
            if (repack) Repack(decoded, native.data(), m_format, out.frame.data());
        } catch (...) {
            out.error = std::current_exception();
        }
        const bool failed = out.error != nullptr;
        if (!me.done.push(std::move(out)) || failed) return;
    }
}

bool DecodePipeline::next(std::vector<uint8_t>& frame) {
    if (m_next >= m_decoder.frameCount()) return false;
    Lane& lane = *m_lanes[m_next % m_lanes.size()];
    std::optional<Decoded> got = lane.done.pop();
    if (!got) return false;
    if (got->error) std::rethrow_exception(got->error);
    frame.swap(got->frame);
    (void)lane.spare.push(std::move(got->frame));
    ++m_next;
    return true;
}

}  // namespace iohost
