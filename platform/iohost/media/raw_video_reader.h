// Reads headerless frames of any PictureFormat (rgb24, gbrp10le, yuv420p10le, ...) of a size
// and rate given on the command line, as ffmpeg writes them with `-f rawvideo`. A file that ends
// inside a frame throws InputError.
#pragma once

#include <memory>
#include <string>

#include "platform/iohost/files/input_file.h"
#include "platform/iohost/media/video_source.h"

namespace iohost {

class RawVideoReader final : public VideoSource {
public:
    // `format` must have a nonzero size.
    RawVideoReader(const std::string& path, const PictureFormat& format);
    RawVideoReader(std::unique_ptr<InputFile> file, const PictureFormat& format);

    [[nodiscard]] const PictureFormat& format() const override { return m_format; }
    [[nodiscard]] bool read(uint8_t* frame) override { return readInPieces(frame, {}); }
    [[nodiscard]] bool readInPieces(uint8_t* frame, const PieceArrived& arrived) override;
    [[nodiscard]] std::optional<uint64_t> frameCount() const override;
    // Takes samples above the format's depth as they are stored (for --allow-bit-loss, and for
    // --verify, which compares every stored bit); otherwise read() refuses them with InputError.
    void acceptSamplesAboveDepth() { m_acceptAboveDepth = true; }

private:
    std::unique_ptr<InputFile> m_file;
    PictureFormat m_format;
    uint64_t m_frames = 0;
    bool m_acceptAboveDepth = false;
};

}  // namespace iohost
