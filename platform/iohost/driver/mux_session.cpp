#include "platform/iohost/driver/mux_session.h"

#include <algorithm>
#include <array>
#include <functional>

namespace iohost {

const char* StepName(Step step) {
    static constexpr const char* kNames[] = {
        "getInfo",       "listContainers", "listCodecs",      "createEncoder", "setCallback",
        "openEncoder",   "process",        "createContainer", "initContainer", "addVideoTrack",
        "addAudioTrack", "openContainer",  "writeVideo",      "writeAudio",    "closeContainer"};
    return kNames[static_cast<size_t>(step)];
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<uint8_t>((i / 3 + seed) + ((state >> 29) & 3u));
    }
    return bytes;
}

bool FindSessionIds(const iohost::Driver& driver, SessionIds& ids) {
    std::vector<iohost::CodecInfo> codecs;
    std::vector<iohost::ContainerInfo> containers;
    if (driver.listCodecs(codecs) != errNone || driver.listContainers(containers) != errNone)
        return false;
    const auto named = [](const auto& list, const char* name) {
        return std::find_if(list.begin(), list.end(),
                            [&](const auto& e) { return e.name == name; });
    };
    const auto rgb = named(codecs, "8-bit RGB");
    const auto yuv = named(codecs, "8-bit YUV 420");
    const auto avi = named(containers, "Parvolux AVI");
    if (rgb == codecs.end() || yuv == codecs.end() || avi == containers.end()) return false;
    ids = {rgb->uuid, yuv->uuid, avi->uuid, rgb->fourcc};
    return true;
}

std::vector<StepAnswer> RunMuxSession(const iohost::Driver& driver, const SessionIds& ids,
                                      const std::string& path, const SessionShape& shape) {
    std::vector<StepAnswer> answers;
    const auto record = [&answers](Step step, const std::function<int32_t()>& call) {
        const size_t before = iohost::Host::instance().log().size();
        const int32_t code = call();
        answers.push_back({step, code, iohost::Host::instance().log().size() - before});
        return code;
    };
    iohost::PluginInfo info;
    std::vector<iohost::ContainerInfo> containers;
    std::vector<iohost::CodecInfo> codecs;
    record(Step::GetInfo, [&] { return driver.getInfo(info); });
    record(Step::ListContainers, [&] { return driver.listContainers(containers); });
    record(Step::ListCodecs, [&] { return driver.listCodecs(codecs); });

    // Declared before the encoders so that they outlive the callbacks that write to them.
    iohost::Container container;
    iohost::Track video;
    iohost::Track audio;
    std::array<iohost::Encoder, 2> encoders;  // RGB feeds the video track, YUV encodes alongside
    iohost::StreamSettings settings;
    settings.width = shape.width;
    settings.height = shape.height;
    settings.path = path;
    for (size_t e = 0; e < 2; ++e) {
        const iohost::Uuid& id = e == 0 ? ids.rgbCodec : ids.yuvCodec;
        const int32_t created =
            record(Step::CreateEncoder, [&] { return driver.createEncoder(id, encoders[e]); });
        if (created != errNone) continue;
        record(Step::SetCallback, [&] {
            return encoders[e].setCallback([&, e](iohost::HostRef<iohost::HostBuffer> packet) {
                if (e != 0 || !video) return int32_t{errNone};
                return record(Step::WriteVideo, [&] { return video.write(*packet); });
            });
        });
        record(Step::OpenEncoder, [&] { return encoders[e].open(settings); });
    }

    const bool haveContainer = record(Step::CreateContainer, [&] {
                                   return driver.createContainer(ids.container, container);
                               }) == errNone;
    if (haveContainer) {
        record(Step::InitContainer, [&] { return container.init(); });
        iohost::VideoTrackSettings track;
        track.width = shape.width;
        track.height = shape.height;
        track.fourcc = ids.rgbFourcc;
        track.cookie = encoders[0].cookie();
        record(Step::AddVideoTrack, [&] { return container.addVideoTrack(track, video); });
        record(Step::AddAudioTrack, [&] { return container.addAudioTrack({}, audio); });
        record(Step::OpenContainer, [&] { return container.open(path); });
    }

    const size_t pixels = size_t{shape.width} * shape.height;
    const size_t frameSizes[2] = {
        pixels * 3,  // RGB, then YUV 4:2:0
        pixels + 2 * size_t{(shape.width + 1) / 2} * ((shape.height + 1) / 2)};
    for (uint32_t i = 0; i < std::max(shape.frames, shape.audioPackets); ++i) {
        for (size_t e = 0; e < 2 && i < shape.frames; ++e) {
            if (!encoders[e]) continue;
            const auto frame = PatternBytes(frameSizes[e], i);
            record(Step::Process,
                   [&] { return encoders[e].process(frame, shape.width, shape.height, i); });
        }
        if (i < shape.audioPackets && audio) {
            // 16-bit stereo: four bytes per sample frame.
            const auto samples = PatternBytes(size_t{shape.audioFrames} * 4, i + 100);
            record(Step::WriteAudio, [&] { return audio.write(samples, shape.audioFrames); });
        }
    }

    if (haveContainer) record(Step::CloseContainer, [&] { return container.close(); });
    // The host's order of release: tracks, container, encoders (their callbacks last).
    video.reset();
    audio.reset();
    container.reset();
    for (auto& encoder : encoders) encoder.reset();
    return answers;
}

}  // namespace iohost
