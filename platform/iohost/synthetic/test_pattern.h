// The built-in moving test pattern: colour bars over a diagonal gradient with fine texture, a box
// that travels across the picture and a frame counter strip, in any PictureFormat. The still
// background is rendered once; each frame copies it and fills the box and the counter's cells, so
// the source costs little more than a copy per frame and the encoder, not the pattern, sets the
// pace.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/iohost/media/video_source.h"

namespace iohost {

class TestPattern final : public VideoSource {
public:
    TestPattern(const PictureFormat& format, uint64_t frames);

    [[nodiscard]] const PictureFormat& format() const override { return m_format; }
    [[nodiscard]] bool read(uint8_t* frame) override;
    [[nodiscard]] std::optional<uint64_t> frameCount() const override { return m_frames; }

private:
    static void renderBackground(const PictureFormat& format, uint8_t* frame);
    static void drawOverlays(const PictureFormat& format, uint64_t index, uint8_t* frame);

private:
    PictureFormat m_format;
    uint64_t m_frames;
    uint64_t m_next = 0;
    std::vector<uint8_t> m_background;
};

}  // namespace iohost
