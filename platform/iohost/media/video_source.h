// Where `iohost encode` takes its pictures from: a YUV4MPEG2 stream, a raw RGB file or the
// built-in test pattern. Every frame is delivered in the source's own PictureFormat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
    // Bytes [begin, end) of the frame being read are in place; pieces come in order.
    using PieceArrived = std::function<void(size_t begin, size_t end)>;
    // As read(), telling `arrived` of each piece as soon as it is in `frame`, so that the caller
    // can use it while the processor still holds it in its cache. By default one piece.
    [[nodiscard]] virtual bool readInPieces(uint8_t* frame, const PieceArrived& arrived) {
        if (!read(frame)) return false;
        if (arrived) arrived(0, static_cast<size_t>(format().frameBytes()));
        return true;
    }
    // The number of frames, when it is known in advance (for progress estimates).
    [[nodiscard]] virtual std::optional<uint64_t> frameCount() const = 0;
};

class InputFile;

// Reads `bytes` bytes of a frame into `frame`: where `arrived` is set, in pieces a processor's
// cache holds, telling it of each. Answers the bytes read, fewer only at the end of the input.
[[nodiscard]] size_t ReadFrameInPieces(InputFile& file, uint8_t* frame, size_t bytes,
                                       const VideoSource::PieceArrived& arrived);

// Throws InputError naming the frame and the sample when `frame` holds a value above the format's
// depth, which a codec of that depth cannot keep.
void CheckDepth(const std::string& name, uint64_t index, const PictureFormat& format,
                const uint8_t* frame);

}  // namespace iohost
