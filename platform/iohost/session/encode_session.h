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

// Where the packets go instead of the plug-in's container: a writer continuing a file. Called
// from the writer thread only, in file order; a throw ends the run as a plug-in failure does.
class PacketSink {
public:
    virtual ~PacketSink() = default;
    virtual void video(const uint8_t* data, uint64_t size) = 0;
    virtual void audio(const uint8_t* data, uint64_t size, uint64_t sampleFrames) = 0;
    // After the last packet, whatever happened.
    virtual void close() = 0;
};

struct EncodeSettings {
    std::string outPath;
    CodecInfo codec;
    ContainerInfo container;
    unsigned jobs = 1;
    std::function<bool()> stopRequested{};  // polled before each frame is read; may be empty
    // Where an export continues: the frames and sample frames before these are already written
    // (and already consumed from the sources). The audio owed to frame firstFrame - 1 comes first.
    uint64_t firstFrame = 0;
    uint64_t firstAudioFrame = 0;
    // Asked after the last frame when the input ended cleanly: whether the sound left after it
    // is written (empty: yes). A part of an export that stops before the input's end has none.
    std::function<bool()> audioTail{};
    PacketSink* sink = nullptr;  // null: the plug-in's container writes outPath
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

// The sample frames from the start to the end of video frame `frames`, from exact rationals: the
// audio of an export is cut there, whichever run writes it.
[[nodiscard]] uint64_t AudioFramesUntil(uint64_t frames, const PictureFormat& picture,
                                        uint32_t sampleRate);

// The plug-in's log messages since `first`, joined with "; " (the detail behind a failed call).
[[nodiscard]] std::string PluginMessagesSince(size_t first);

}  // namespace iohost
