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

// encode's arguments for OUT from INPUT (empty: the pattern Picture() describes), with the sound
// of `wav` when given, then `more`.
inline std::vector<std::string> EncodeArgs(const std::string& out, const std::string& input,
                                           const std::string& wav,
                                           std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"encode", out, "-q"};
    if (input.empty())
        args.insert(args.end(),
                    {"--pattern", "--size", "48x32", "--rate", "29.97", "--frames", "40"});
    else
        args.push_back(input);
    if (!wav.empty()) args.insert(args.end(), {"--audio", wav});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The options of a part of frames [first, end) (end 0: to the input's end).
inline std::vector<std::string> PartOptions(uint64_t first, uint64_t end) {
    std::vector<std::string> options = {"--start-frame", std::to_string(first)};
    if (end != 0) options.insert(options.end(), {"--frames", std::to_string(end - first)});
    return options;
}

class ExportTest : public HostTest {
protected:
    ScratchDir dir;

    // The first `size` bytes of `bytes` as a new file (what a crash leaves).
    std::string cutCopy(const std::string& bytes, uint64_t size,
                        const std::string& name = "cut.avi") {
        const std::string path = dir / name;
        std::filesystem::remove(path);
        WriteFile(path, std::string_view(bytes).substr(0, size));
        return path;
    }

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
