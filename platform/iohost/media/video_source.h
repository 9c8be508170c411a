// Where `iohost encode` takes its pictures from: a YUV4MPEG2 stream, a raw RGB file or the
// built-in test pattern. Every frame is delivered in the source's own PictureFormat.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/iohost/picture/picture_format.h"

namespace iohost {

class VideoSource {
public:
    virtual ~VideoSource() = default;

    [[nodiscard]] virtual const PictureFormat& format() const = 0;
    // Writes the next frame (format().frameBytes() bytes) to `frame`. False at the clean end of
    // the stream; throws InputError for a truncated or malformed frame.
    [[nodiscard]] virtual bool read(uint8_t* frame) = 0;
    // The number of frames, when it is known in advance (for progress estimates).
    [[nodiscard]] virtual std::optional<uint64_t> frameCount() const = 0;
};

}  // namespace iohost
