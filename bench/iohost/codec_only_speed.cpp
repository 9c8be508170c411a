// The codec library's speed on the frames `iohost encode` makes of its built-in pattern, with no
// host objects, plug-in or file in between: the pattern rendered and converted to the codec's raw
// layout frame by frame on one thread, as iohost does, and compressed by `jobs` library instances
// on as many threads. Beside a whole `iohost encode` run it leaves only what the plug-in, the
// host's objects, the audio and the AVI file cost.
//
//   codec_only_speed WIDTH HEIGHT FRAMES JOBS [PIXFMT]      prints "frames seconds fps"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "codec/parvolux_library.h"
#include "platform/iohost/picture/frame_converter.h"
#include "platform/iohost/session/blocking_queue.h"
#include "platform/iohost/synthetic/test_pattern.h"

namespace {

using namespace iohost;

// The compressed format code of the default codec for each raw layout used here.
uint32_t CompressedFormat(RawLayout layout) {
    switch (layout) {
        case RawLayout::Uyvy:
            return 104;
        case RawLayout::Yuv420P8:
            return 105;
        case RawLayout::Yuv444P8:
            return 103;
        default:
            return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(
            stderr, "usage: codec_only_speed WIDTH HEIGHT FRAMES JOBS [yuv422p|yuv420p|yuv444p]\n");
        return 2;
    }
    PictureFormat picture;
    (void)ParsePixelFormat(argc > 5 ? argv[5] : "yuv422p", picture);
    picture.width = static_cast<uint32_t>(std::atoi(argv[1]));
    picture.height = static_cast<uint32_t>(std::atoi(argv[2]));
    const uint64_t frames = std::strtoull(argv[3], nullptr, 10);
    const unsigned jobs = static_cast<unsigned>(std::atoi(argv[4]));
    const RawLayout layout = picture.chroma == Chroma::Yuv422   ? RawLayout::Uyvy
                             : picture.chroma == Chroma::Yuv420 ? RawLayout::Yuv420P8
                                                                : RawLayout::Yuv444P8;
    std::string why;
    const auto converter = FrameConverter::make(picture, layout, why);
    if (!converter || jobs == 0 || frames == 0) {
        std::fprintf(stderr, "codec_only_speed: bad arguments %s\n", why.c_str());
        return 2;
    }
    if (parvolux_library_init() != 0) return 1;
    const FrameFormat in{
        picture.width, picture.height, 254, 1, static_cast<uint32_t>(layout), 0, 0, 1, 0};
    const FrameFormat out{0, 0, 254, 1, CompressedFormat(layout), 0, 0, 0, 0};
    std::vector<uint32_t> handles(jobs);
    std::vector<uint32_t> bufferSizes(jobs);
    for (unsigned j = 0; j < jobs; ++j) {
        const uint8_t* cookie = nullptr;
        uint64_t cookieSize = 0;
        if (parvolux_open(&handles[j]) != 0 ||
            parvolux_compress_begin(handles[j], &in, &out, &cookie, &cookieSize, &bufferSizes[j]) !=
                0) {
            std::fprintf(stderr, "codec_only_speed: the library refuses %ux%u\n", picture.width,
                         picture.height);
            return 1;
        }
    }
    // The same pipeline as `iohost encode`: one thread renders and converts each frame while the
    // others compress, with the same two frames in flight between them.
    const auto start = std::chrono::steady_clock::now();
    BlockingQueue<std::vector<uint8_t>> ready(2);
    BlockingQueue<std::vector<uint8_t>> spare(jobs + 3);
    for (unsigned k = 0; k < jobs + 3; ++k) (void)spare.push({});
    std::thread reader([&] {
        TestPattern pattern(picture, frames);
        std::vector<uint8_t> source(converter->sourceBytes());
        while (pattern.read(source.data())) {
            std::vector<uint8_t> frame = std::move(*spare.pop());
            frame.resize(converter->targetBytes());
            converter->convert(source.data(), frame.data());
            (void)ready.push(std::move(frame));
        }
        ready.close();
    });
    std::vector<std::thread> threads;
    for (unsigned j = 0; j < jobs; ++j) {
        threads.emplace_back([&, j] {
            std::vector<uint8_t> packet(bufferSizes[j]);
            while (auto frame = ready.pop()) {
                FramePlanes planes{};
                uint32_t size = 0;
                if (parvolux_init_planes_common(handles[j], &in, &planes, frame->data()) != 0 ||
                    parvolux_compress(handles[j], &planes, packet.data(), &size) != 0)
                    std::abort();
                (void)spare.push(std::move(*frame));
            }
        });
    }
    reader.join();
    for (auto& t : threads) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (uint32_t h : handles) (void)parvolux_close(h);
    (void)parvolux_library_close();
    std::printf("%llu %.3f %.1f\n", static_cast<unsigned long long>(frames), seconds,
                static_cast<double>(frames) / seconds);
    return 0;
}
