#include "tests/reliability/mux_session.h"

#include <algorithm>
#include <functional>

#include "platform/iohost/container.h"
#include "platform/iohost/encoder.h"
#include "platform/iohost/host.h"
#include "platform/iohost/track.h"

namespace reliability {

namespace {

constexpr char kContainerName[] = "Parvolux AVI";

class Recorder {
public:
    explicit Recorder(std::vector<StepAnswer>& answers) : m_answers(answers) {}

    int32_t operator()(Step step, const std::function<int32_t()>& call) {
        const size_t before = iohost::Host::instance().log().size();
        const int32_t code = call();
        const size_t after = iohost::Host::instance().log().size();
        m_answers.push_back({step, code, after - before});
        return code;
    }

private:
    std::vector<StepAnswer>& m_answers;
};

}  // namespace

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        // Smooth ramps with a little noise, so that the codec has something to predict.
        bytes[i] = static_cast<uint8_t>((i / 3 + seed) + ((state >> 29) & 3u));
    }
    return bytes;
}

const char* StepName(Step step) {
    switch (step) {
        case Step::GetInfo:
            return "getInfo";
        case Step::ListContainers:
            return "listContainers";
        case Step::ListCodecs:
            return "listCodecs";
        case Step::CreateEncoder:
            return "createEncoder";
        case Step::SetCallback:
            return "setCallback";
        case Step::OpenEncoder:
            return "openEncoder";
        case Step::Process:
            return "process";
        case Step::CreateContainer:
            return "createContainer";
        case Step::InitContainer:
            return "initContainer";
        case Step::AddVideoTrack:
            return "addVideoTrack";
        case Step::AddAudioTrack:
            return "addAudioTrack";
        case Step::OpenContainer:
            return "openContainer";
        case Step::WriteVideo:
            return "writeVideo";
        case Step::WriteAudio:
            return "writeAudio";
        case Step::CloseContainer:
            return "closeContainer";
    }
    return "step";
}

bool FindSessionIds(const iohost::Driver& driver, SessionIds& ids) {
    std::vector<iohost::CodecInfo> codecs;
    std::vector<iohost::ContainerInfo> containers;
    if (driver.listCodecs(codecs) != errNone || driver.listContainers(containers) != errNone)
        return false;
    bool rgb = false;
    bool yuv = false;
    for (const auto& codec : codecs) {
        if (codec.name == "8-bit RGB") {
            ids.rgbCodec = codec.uuid;
            ids.rgbFourcc = codec.fourcc;
            rgb = true;
        } else if (codec.name == "8-bit YUV 420") {
            ids.yuvCodec = codec.uuid;
            yuv = true;
        }
    }
    bool container = false;
    for (const auto& info : containers) {
        if (info.name == kContainerName) {
            ids.container = info.uuid;
            container = true;
        }
    }
    return rgb && yuv && container;
}

std::vector<uint8_t> RgbFrame(uint32_t width, uint32_t height, uint32_t seed) {
    return PatternBytes(size_t{width} * height * 3, seed);
}

std::vector<uint8_t> Yuv420Frame(uint32_t width, uint32_t height, uint32_t seed) {
    const size_t chroma = size_t{(width + 1) / 2} * ((height + 1) / 2);
    return PatternBytes(size_t{width} * height + 2 * chroma, seed);
}

std::vector<StepAnswer> RunMuxSession(const iohost::Driver& driver, const SessionIds& ids,
                                      const std::string& path, const SessionShape& shape) {
    std::vector<StepAnswer> answers;
    Recorder record(answers);

    {
        iohost::PluginInfo info;
        std::vector<iohost::ContainerInfo> containers;
        std::vector<iohost::CodecInfo> codecs;
        record(Step::GetInfo, [&] { return driver.getInfo(info); });
        record(Step::ListContainers, [&] { return driver.listContainers(containers); });
        record(Step::ListCodecs, [&] { return driver.listCodecs(codecs); });
    }

    // Declared before the encoders so that it outlives the callbacks that write to it.
    iohost::Container container;
    iohost::Track video;
    iohost::Track audio;
    iohost::Encoder rgb;
    iohost::Encoder yuv;

    const bool haveRgb = record(Step::CreateEncoder,
                                [&] { return driver.createEncoder(ids.rgbCodec, rgb); }) == errNone;
    const bool haveYuv = record(Step::CreateEncoder,
                                [&] { return driver.createEncoder(ids.yuvCodec, yuv); }) == errNone;
    if (haveRgb) {
        record(Step::SetCallback, [&] {
            return rgb.setCallback([&](iohost::HostBuffer& packet) {
                if (!video) return static_cast<int32_t>(errNone);
                return record(Step::WriteVideo, [&] { return video.write(packet); });
            });
        });
    }
    if (haveYuv) {
        record(Step::SetCallback, [&] {
            return yuv.setCallback([](iohost::HostBuffer&) { return int32_t{errNone}; });
        });
    }

    iohost::StreamSettings settings;
    settings.width = shape.width;
    settings.height = shape.height;
    settings.path = path;
    if (haveRgb) record(Step::OpenEncoder, [&] { return rgb.open(settings); });
    if (haveYuv) record(Step::OpenEncoder, [&] { return yuv.open(settings); });

    const bool haveContainer = record(Step::CreateContainer, [&] {
                                   return driver.createContainer(ids.container, container);
                               }) == errNone;
    if (haveContainer) {
        record(Step::InitContainer, [&] { return container.init(); });
        iohost::VideoTrackSettings track;
        track.width = shape.width;
        track.height = shape.height;
        track.fourcc = ids.rgbFourcc;
        track.cookie = rgb.cookie();
        record(Step::AddVideoTrack, [&] { return container.addVideoTrack(track, video); });
        const iohost::AudioTrackSettings sound;
        record(Step::AddAudioTrack, [&] { return container.addAudioTrack(sound, audio); });
        record(Step::OpenContainer, [&] { return container.open(path); });
    }

    const uint32_t blockAlign = 4;  // 16-bit stereo
    for (uint32_t i = 0; i < std::max(shape.frames, shape.audioPackets); ++i) {
        if (i < shape.frames) {
            if (haveRgb) {
                const auto frame = RgbFrame(shape.width, shape.height, i);
                record(Step::Process,
                       [&] { return rgb.process(frame, shape.width, shape.height, i); });
            }
            if (haveYuv) {
                const auto frame = Yuv420Frame(shape.width, shape.height, i);
                record(Step::Process,
                       [&] { return yuv.process(frame, shape.width, shape.height, i); });
            }
        }
        if (i < shape.audioPackets && audio) {
            const auto samples = PatternBytes(size_t{shape.audioFrames} * blockAlign, i + 100);
            record(Step::WriteAudio, [&] { return audio.write(samples, shape.audioFrames); });
        }
    }

    if (haveContainer) record(Step::CloseContainer, [&] { return container.close(); });
    // The host's order of release: tracks, container, encoders (their callbacks last).
    video.reset();
    audio.reset();
    container.reset();
    rgb.reset();
    yuv.reset();
    return answers;
}

}  // namespace reliability
