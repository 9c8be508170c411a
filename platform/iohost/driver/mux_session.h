// One whole host session against the loaded module, which the fault sweeps repeat and the soak
// benchmark loops: registration, two encoders, and a container whose video track is fed from the
// first encoder's callback, plus an audio track. Every answer is kept with the number of log
// messages it produced; every object is released before RunMuxSession returns, whatever failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/iohost/driver/driver.h"

namespace iohost {

// WriteVideo is the trackWrite made from inside the encoder's callback.
enum class Step {
    GetInfo,
    ListContainers,
    ListCodecs,
    CreateEncoder,
    SetCallback,
    OpenEncoder,
    Process,
    CreateContainer,
    InitContainer,
    AddVideoTrack,
    AddAudioTrack,
    OpenContainer,
    WriteVideo,
    WriteAudio,
    CloseContainer
};

[[nodiscard]] const char* StepName(Step step);

struct StepAnswer {
    Step step;
    int32_t code = 0;
    size_t messages = 0;  // log entries added while the step ran (nested steps included)
};

// Take them from a clean listing, before any fault is armed.
struct SessionIds {
    iohost::Uuid rgbCodec{};  // "8-bit RGB", feeds the container's video track
    iohost::Uuid yuvCodec{};  // "8-bit YUV 420", encodes alongside
    iohost::Uuid container{};
    uint32_t rgbFourcc = 0;
};

struct SessionShape {
    uint32_t width = 16;
    uint32_t height = 16;
    uint32_t frames = 3;
    uint32_t audioPackets = 3;
    uint32_t audioFrames = 480;  // sample frames per audio packet (16-bit stereo)
};

// False when a codec or the container is not published.
[[nodiscard]] bool FindSessionIds(const iohost::Driver& driver, SessionIds& ids);

[[nodiscard]] std::vector<StepAnswer> RunMuxSession(const iohost::Driver& driver,
                                                    const SessionIds& ids, const std::string& path,
                                                    const SessionShape& shape = {});

// A smooth pattern with a little noise, different for each seed.
[[nodiscard]] std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);

}  // namespace iohost
