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
// Whatever happens the container is closed, so the file the plug-in wrote is finalised with the
// frames that reached it, and every object is released. The input ending early or badly, or a
// stop request, ends the feeding: the frames read so far are still encoded and written. A plug-in
// failure (a full disk, say) ends the run at once. run() reports either in its result and
// removes nothing: what to keep is the caller's decision.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "platform/iohost/driver/driver.h"
#include "platform/iohost/media/audio_source.h"
#include "platform/iohost/media/video_source.h"
#include "platform/iohost/picture/frame_converter.h"

namespace iohost {

struct EncodeSettings {
    std::string outPath;
    CodecInfo codec;
    ContainerInfo container;
    unsigned jobs = 1;
    std::function<bool()> stopRequested;  // polled before each frame is read; may be empty
};

struct EncodeProgress {
    uint64_t frames = 0;               // frames written to the file
    std::optional<uint64_t> expected;  // when the source knows its length
    uint64_t rawBytes = 0;             // raw input consumed
    uint64_t packetBytes = 0;          // compressed video written
    uint64_t audioFrames = 0;          // sample frames written
    double seconds = 0;
};

struct EncodeResult {
    EncodeProgress progress;
    std::exception_ptr inputError;   // the input failed part-way (InputError)
    std::exception_ptr pluginError;  // the plug-in failed (std::runtime_error)
    bool stopped = false;            // stopRequested answered true
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

    [[nodiscard]] EncodeResult run();

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
