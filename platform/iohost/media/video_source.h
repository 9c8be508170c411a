// Where `iohost encode` takes its pictures from: a YUV4MPEG2 stream, a raw RGB file or the
// built-in test pattern. Every frame is delivered in the source's own PictureFormat.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// Throws InputError naming the frame and the sample when `frame` holds a value above the format's
// depth, which a codec of that depth cannot keep.
void CheckDepth(const std::string& name, uint64_t index, const PictureFormat& format,
                const uint8_t* frame);

}  // namespace iohost
