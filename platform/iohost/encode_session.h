// One `iohost encode` run: drives the plug-in exactly as the host application does. One
// container with one video track and an audio track, `jobs` encoder objects each on a thread of
// its own, packets handed from the encoders' callbacks to the video track in frame order, and
// audio interleaved with them (one packet per video frame's duration, "duration" in sample
// frames).
//
// Three stages run at once: this thread reads and converts frames into host buffers, the
// encoder threads compress them, and a writer thread owns the container and its tracks (the
// plug-in lets different encoders run at once, but never two calls on one container). Frame i
// goes to encoder i % jobs, so the output does not depend on the number of jobs.
//
// run() throws InputError for bad input and std::runtime_error for a plug-in failure (with the
// plug-in's own message); either way every object is released and the partial file removed.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/iohost/audio_source.h"
#include "platform/iohost/driver.h"
#include "platform/iohost/frame_converter.h"
#include "platform/iohost/video_source.h"

namespace iohost {

struct EncodeSettings {
    std::string outPath;
    CodecInfo codec;
    ContainerInfo container;
    unsigned jobs = 1;
};

struct EncodeProgress {
    uint64_t frames = 0;               // frames written to the file
    std::optional<uint64_t> expected;  // when the source knows its length
    uint64_t rawBytes = 0;             // raw input consumed
    uint64_t packetBytes = 0;          // compressed video written
    uint64_t audioFrames = 0;          // sample frames written
    double seconds = 0;
};

class EncodeSession {
public:
    // `audio` may be null (no audio track).
    EncodeSession(const Driver& driver, EncodeSettings settings, VideoSource& video,
                  const FrameConverter& converter, AudioSource* audio);

    // Called from the writer thread after every frame.
    void onProgress(std::function<void(const EncodeProgress&)> callback) {
        m_onProgress = std::move(callback);
    }

    [[nodiscard]] EncodeProgress run();

private:
    const Driver& m_driver;
    EncodeSettings m_settings;
    VideoSource& m_video;
    const FrameConverter& m_converter;
    AudioSource* m_audio;
    std::function<void(const EncodeProgress&)> m_onProgress;
};

// The plug-in's log messages since `first`, joined with "; " (the detail behind a failed call).
[[nodiscard]] std::string PluginMessagesSince(size_t first);

}  // namespace iohost
