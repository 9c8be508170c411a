// Sources of the export tests (--resume, parts and join): the test pattern's 40 frames at
// 29.97 fps as a YUV4MPEG2 file, and pseudo-random sound that lasts longer than they do.
#pragma once

#include <filesystem>

#include "platform/iohost/media/wav_writer.h"
#include "tests/iohost/cli_test_support.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {

// What --pattern --size 48x32 --rate 29.97 makes.
inline iohost::PictureFormat Picture() {
    iohost::PictureFormat f;
    EXPECT_TRUE(iohost::ParsePixelFormat("yuv422p", f));
    f.width = 48;
    f.height = 32;
    f.rate = 30000;
    f.scale = 1001;
    return f;
}

class ExportTest : public HostTest {
protected:
    ScratchDir dir;

    // Pseudo-random stereo sound, by default 1.5 s: the 40 frames at 29.97 fps end before it does.
    std::string writeWav(const std::string& name, uint32_t rate, uint32_t seed = 1,
                         uint64_t frames = 0) {
        iohost::AudioFormat format;
        format.sampleRate = rate;
        std::vector<uint8_t> samples(format.blockAlign() * (frames != 0 ? frames : rate * 3 / 2));
        uint32_t x = seed;
        for (auto& s : samples) s = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        const std::string path = dir / name;
        std::filesystem::remove(path);
        iohost::WriteWav(path, format, samples);
        return path;
    }

    // The pattern's 40 frames as a YUV4MPEG2 file, every byte flipped when `other`.
    std::string writeY4m(const std::string& name, bool other,
                         const iohost::PictureFormat& f = Picture()) {
        const std::string path = dir / name;
        std::filesystem::remove(path);
        iohost::VideoWriter writer(path, f, true);
        std::vector<uint8_t> frame(f.frameBytes());
        iohost::TestPattern pattern(f, 40);
        while (pattern.read(frame.data())) {
            if (other)
                for (auto& b : frame) b = static_cast<uint8_t>(~b);
            writer.write(frame.data());
        }
        writer.close();
        return path;
    }
};

}  // namespace iohost_test
