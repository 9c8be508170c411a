// Reads headerless packed RGB/RGBA frames (rgb24, rgba, rgb48le, rgba64le) of a size and rate
// given on the command line. A file that ends inside a frame throws InputError.
#pragma once

#include <string>

#include "platform/iohost/input_file.h"
#include "platform/iohost/video_source.h"

namespace iohost {

class RawVideoReader final : public VideoSource {
public:
    // `format` must be packed RGB or RGBA with a nonzero size.
    RawVideoReader(const std::string& path, const PictureFormat& format);

    [[nodiscard]] const PictureFormat& format() const override { return m_format; }
    [[nodiscard]] bool read(uint8_t* frame) override;
    [[nodiscard]] std::optional<uint64_t> frameCount() const override;

private:
    InputFile m_file;
    PictureFormat m_format;
    uint64_t m_frames = 0;
};

}  // namespace iohost
