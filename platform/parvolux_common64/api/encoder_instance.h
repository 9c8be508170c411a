// One open handle of the library: the stream it was begun with, its cookie and its encoder.
#ifndef PARVOLUX_COMMON64_API_ENCODER_INSTANCE_H
#define PARVOLUX_COMMON64_API_ENCODER_INSTANCE_H

#include <array>
#include <cstdint>
#include <memory>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/encoder/frame_encoder.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace parvolux {

// The format code a FrameFormat names, in the short or the extended form.
uint32_t formatCodeOf(const FrameFormat& format);

// Checks a (raw, compressed) pair and, when the sizes are given, works out the stream.
// kUnsupportedFormat for a pair that is not a stream; kBadSize for sizes the stream cannot take.
[[nodiscard]] int32_t resolveStream(const FrameFormat& in, const FrameFormat& out,
                                    const StreamFormat*& stream);

class EncoderInstance {
public:
    // Starts (or restarts) a stream. Throws std::bad_alloc.
    [[nodiscard]] int32_t begin(const FrameFormat& in, const FrameFormat& out, Predictor predictor);
    bool begun() const { return m_encoder != nullptr; }
    const std::array<uint8_t, kCookieSize>& cookie() const { return m_cookie; }
    uint32_t bufferSize() const { return m_encoder->geometry().bufferBound; }

    // kBadArgument when the planes do not hold a raw frame of the stream. Throws std::bad_alloc.
    [[nodiscard]] int32_t compress(const FramePlanes& planes, void* out, uint32_t& outSize,
                                   ThreadPool* pool, unsigned threads);

private:
    std::unique_ptr<FrameEncoder> m_encoder;
    std::array<uint8_t, kCookieSize> m_cookie{};
};

// Fills one plane entry per raw plane of the frame at raw.
[[nodiscard]] int32_t initPlanes(const FrameFormat& in, const void* raw, FramePlanes& planes);

}  // namespace parvolux

#endif
