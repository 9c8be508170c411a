#include "platform/iohost/session/encode_session.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/stop_request.h"
#include "platform/iohost/session/blocking_queue.h"

namespace iohost {

namespace {

struct Frame {
    uint64_t index = 0;
    HostRef<HostBuffer> buffer;
};

// The first failure of any stage; later ones are consequences and are dropped.
class Failure {
public:
    void set(std::exception_ptr error) {
        std::lock_guard lock(m_mutex);
        if (!m_error) m_error = std::move(error);
        m_failed = true;
    }
    [[nodiscard]] bool failed() const { return m_failed.load(); }
    void rethrow() {
        std::lock_guard lock(m_mutex);
        if (m_error) std::rethrow_exception(m_error);
    }

private:
    std::mutex m_mutex;
    std::exception_ptr m_error;
    std::atomic<bool> m_failed{false};
};

// Encoded frames' buffers go back to the reader: a new frame-sized buffer per frame would cost an
// allocation and a page fault per page on every frame.
class SpareBuffers {
public:
    void put(HostRef<HostBuffer> buffer) {
        std::lock_guard lock(m_mutex);
        m_spare.push_back(std::move(buffer));
    }
    [[nodiscard]] HostRef<HostBuffer> take() {
        std::lock_guard lock(m_mutex);
        if (m_spare.empty()) return Host::instance().createBuffer();
        HostRef<HostBuffer> buffer = std::move(m_spare.back());
        m_spare.pop_back();
        return buffer;
    }

private:
    std::mutex m_mutex;
    std::vector<HostRef<HostBuffer>> m_spare;
};

[[noreturn]] void PluginFailed(const std::string& what, int32_t code, size_t logMark) {
    std::string text = what + " failed: the plug-in answered " + ResultName(code);
    const std::string detail = PluginMessagesSince(logMark);
    if (!detail.empty()) text += " (" + detail + ")";
    throw std::runtime_error(text);
}

// One encoder object and the thread that feeds it.
struct Worker {
    Encoder encoder;
    BlockingQueue<Frame> in{2};
    BlockingQueue<HostRef<HostBuffer>> out{3};
    HostRef<HostBuffer> delivered;  // set by the callback during process()
    std::thread thread;
};

// The settings each encoder is opened with. The host's codes: field order 1 progressive, 2 top
// field first, 4 bottom field first; data range 1 full, 0 limited (RGB is always full).
StreamSettings EncoderStream(const PictureFormat& picture, const EncodeSettings& settings) {
    StreamSettings stream;
    stream.width = picture.width;
    stream.height = picture.height;
    stream.rate = picture.rate;
    stream.scale = picture.scale;
    static constexpr uint8_t kFieldOrder[] = {0, 1, 2, 4};
    stream.fieldOrder = kFieldOrder[static_cast<int>(picture.scan)];
    stream.dataRange = picture.isRgb() || picture.range == Range::Full ? 1 : 0;
    stream.hasAlpha = picture.hasAlpha();
    stream.path = settings.outPath;
    stream.codecContainers = settings.container.name;
    return stream;
}

VideoTrackSettings VideoTrack(const PictureFormat& picture, const EncodeSettings& settings,
                              const std::vector<uint8_t>& cookie) {
    VideoTrackSettings video;
    video.width = picture.width;
    video.height = picture.height;
    video.rate = picture.rate;
    video.scale = picture.scale;
    video.fourcc = settings.codec.fourcc;
    video.cookie = cookie;
    return video;
}

AudioTrackSettings AudioTrack(const AudioFormat& a) {
    AudioTrackSettings audio;
    audio.samplingRate = a.sampleRate;
    audio.numChannels = a.channels;
    audio.sampleBits = a.bitsPerSample;
    audio.isFloat = a.isFloat;
    audio.audLayout = a.audLayout();
    return audio;
}

size_t LogSize() {
    return Host::instance().log().size();
}

// One run: the steps of EncodeSession::run and the state its three stages share. The container
// and its tracks hold each other until contClose, so once the encoders are open every way out
// closes it (the destructor, when an opening step throws).
class ExportRun {
public:
    ExportRun(const Driver& driver, const EncodeSettings& settings, VideoSource& video,
              const FrameConverter& converter, AudioSource* audio,
              const std::function<void(const EncodeProgress&)>& onProgress)
        : m_driver(driver),
          m_settings(settings),
          m_video(video),
          m_converter(converter),
          m_audio(audio),
          m_sound(audio != nullptr ? &audio->format() : nullptr),
          m_onProgress(onProgress),
          m_picture(video.format()),
          m_jobs(std::max(1u, settings.jobs)),
          m_logMark(LogSize()) {}
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;
    ~ExportRun() {
        if (m_mustClose && (m_sink != nullptr || m_container)) (void)close();
    }

    EncodeResult run() {
        openEncoders();
        m_mustClose = true;
        if (m_sink == nullptr) openContainer();
        for (auto& worker : m_workers) {
            Worker* w = worker.get();
            w->thread = std::thread([this, w] {
                LeaveStopSignalsToOtherThreads();
                guard([&] { encode(*w); });
            });
        }
        m_progress.expected = m_video.frameCount();
        m_progress.frames = m_settings.firstFrame;
        m_progress.audioFrames = m_settings.firstAudioFrame;
        std::thread writer([this] {
            LeaveStopSignalsToOtherThreads();
            guard([this] { writePackets(); });
        });
        guard([this] { readFrames(); });
        for (auto& w : m_workers) w->thread.join();
        writer.join();
        m_progress.seconds = elapsed();
        return finish();
    }

private:
    // Encoders first: their cookie goes into the video track.
    void openEncoders() {
        const StreamSettings stream = EncoderStream(m_picture, m_settings);
        const std::string& name = m_settings.codec.name;
        for (unsigned j = 0; j < m_jobs; ++j) {
            auto worker = std::make_unique<Worker>();
            if (int32_t code = m_driver.createEncoder(m_settings.codec.uuid, worker->encoder);
                code != errNone)
                PluginFailed("creating the \"" + name + "\" encoder", code, m_logMark);
            Worker* w = worker.get();
            if (int32_t code = w->encoder.setCallback([w](HostRef<HostBuffer> packet) {
                    w->delivered = std::move(packet);
                    return errNone;
                });
                code != errNone)
                PluginFailed("setting the encoder's callback", code, m_logMark);
            if (int32_t code = w->encoder.configure(); code != errNone)
                PluginFailed("configuring the encoder", code, m_logMark);
            if (int32_t code = w->encoder.open(stream); code != errNone)
                PluginFailed("opening the \"" + name + "\" encoder for " +
                                 std::to_string(m_picture.width) + "x" +
                                 std::to_string(m_picture.height),
                             code, m_logMark);
            m_workers.push_back(std::move(worker));
        }
    }

    void openContainer() {
        if (int32_t code = m_driver.createContainer(m_settings.container.uuid, m_container);
            code != errNone)
            PluginFailed("creating the container", code, m_logMark);
        if (int32_t code = m_container.init(); code != errNone)
            PluginFailed("initialising the container", code, m_logMark);
        const VideoTrackSettings video =
            VideoTrack(m_picture, m_settings, m_workers.front()->encoder.cookie());
        if (int32_t code = m_container.addVideoTrack(video, m_videoTrack); code != errNone)
            PluginFailed("adding the video track", code, m_logMark);
        if (m_sound != nullptr) {
            if (int32_t code = m_container.addAudioTrack(AudioTrack(*m_sound), m_audioTrack);
                code != errNone)
                PluginFailed("adding the audio track", code, m_logMark);
        }
        if (int32_t code = m_container.open(m_settings.outPath); code != errNone)
            PluginFailed("creating '" + m_settings.outPath + "'", code, m_logMark);
    }

    // The first failure of any stage stops the others.
    void guard(const std::function<void()>& body) {
        try {
            body();
        } catch (...) {
            m_failure.set(std::current_exception());
            for (auto& w : m_workers) {
                w->in.close();
                w->out.close();
            }
        }
    }

    // An encoder's thread.
    void encode(Worker& w) {
        while (auto frame = w.in.pop()) {
            const size_t mark = LogSize();
            const int32_t code = w.encoder.process(*frame->buffer);
            m_spare.put(std::move(frame->buffer));
            if (code != errNone || !w.delivered)
                PluginFailed("encoding frame " + std::to_string(frame->index), code, mark);
            if (!w.out.push(std::move(w.delivered))) return;
        }
        w.out.close();
    }

    // The writer thread: packets in frame order, each frame's sound after it.
    void writePackets() {
        if (m_sound != nullptr && m_settings.firstFrame > 0)
            writeAudio(audioUntil(m_settings.firstFrame));
        for (uint64_t i = m_settings.firstFrame;; ++i) {
            auto packet = m_workers[i % m_jobs]->out.pop();
            if (!packet) break;
            writeVideo(i, **packet);
            m_progress.packetBytes += (*packet)->size();
            packet->reset();
            ++m_progress.frames;
            m_progress.rawBytes += m_converter.sourceBytes();
            if (m_sound != nullptr) writeAudio(audioUntil(m_progress.frames));
            m_progress.seconds = elapsed();
            if (m_onProgress) m_onProgress(m_progress);
        }
        if (m_failure.failed() || m_inputCut.load()) return;
        if (m_sound != nullptr && !m_audio->endless() &&
            (!m_settings.audioTail || m_settings.audioTail()))
            writeAudio(UINT64_MAX);
    }

    void writeVideo(uint64_t i, HostBuffer& packet) {
        const size_t mark = LogSize();
        if (m_sink != nullptr) {
            void* data = nullptr;
            uint64_t size = 0;
            if (packet.lock(data, size) != errNone)
                throw std::runtime_error("cannot read frame " + std::to_string(i));
            m_sink->video(static_cast<const uint8_t*>(data), size);
            (void)packet.unlock();
        } else if (int32_t code = m_videoTrack.write(packet); code != errNone) {
            PluginFailed("writing frame " + std::to_string(i), code, mark);
        }
    }

    [[nodiscard]] uint64_t audioUntil(uint64_t frames) const {
        return AudioFramesUntil(frames, m_picture, m_sound->sampleRate);
    }

    void writeAudio(uint64_t until) {
        while (m_progress.audioFrames < until) {
            // The tail of a WAV file goes in packets of a second or less.
            const uint64_t want =
                std::min<uint64_t>(until - m_progress.audioFrames, m_sound->sampleRate);
            m_samples.resize(static_cast<size_t>(want * m_sound->blockAlign()));
            const size_t got = m_audio->read(m_samples.data(), static_cast<size_t>(want));
            if (got == 0) return;
            m_samples.resize(got * m_sound->blockAlign());
            const size_t mark = LogSize();
            if (m_sink != nullptr)
                m_sink->audio(m_samples.data(), m_samples.size(), got);
            else if (int32_t code = m_audioTrack.write(m_samples, static_cast<int64_t>(got));
                     code != errNone)
                PluginFailed("writing audio", code, mark);
            m_progress.audioFrames += got;
        }
    }

    // This thread reads and converts. A bad input or a stop request ends the input like its
    // end: the frames already read go on to the file.
    void readFrames() {
        std::vector<uint8_t> source(static_cast<size_t>(m_converter.sourceBytes()));
        for (uint64_t i = m_settings.firstFrame; !m_failure.failed(); ++i) {
            if (!readFrame(source)) {
                m_inputCut = m_result.stopped || m_result.inputError;
                break;
            }
            if (!m_workers[i % m_jobs]->in.push(convertFrame(i, source))) break;
        }
        for (auto& w : m_workers) w->in.close();
    }

    [[nodiscard]] bool stopRequested() const {
        return m_settings.stopRequested && m_settings.stopRequested();
    }

    bool readFrame(std::vector<uint8_t>& source) {
        try {
            if (stopRequested()) {
                m_result.stopped = true;
                return false;
            }
            if (m_video.read(source.data())) return true;
            // A stop request ends a read like the end of the input: it must not pass for one.
            m_result.stopped = stopRequested();
            return false;
        } catch (const InputError&) {
            if (stopRequested()) {
                m_result.stopped = true;  // the signal cut a read short
            } else {
                m_result.inputError = std::current_exception();
            }
            return false;
        }
    }

    [[nodiscard]] Frame convertFrame(uint64_t i, const std::vector<uint8_t>& source) {
        const uint64_t rawBytes = m_converter.targetBytes();
        Frame frame{i, m_spare.take()};
        void* data = nullptr;
        uint64_t size = 0;
        if (frame.buffer->setSize(rawBytes) != errNone || frame.buffer->lock(data, size) != errNone)
            throw std::runtime_error("cannot make a frame buffer of " + std::to_string(rawBytes) +
                                     " bytes");
        m_converter.convert(source.data(), static_cast<uint8_t*>(data));
        (void)frame.buffer->unlock();
        frame.buffer->setInt32("width", static_cast<int32_t>(m_picture.width));
        frame.buffer->setInt32("height", static_cast<int32_t>(m_picture.height));
        frame.buffer->setInt64("pts", static_cast<int64_t>(i));
        return frame;
    }

    int32_t close() {
        m_mustClose = false;
        if (m_sink == nullptr) return m_container.close();
        try {
            m_sink->close();
        } catch (...) {
            m_sinkError = std::current_exception();
            return errFail;
        }
        return errNone;
    }

    // Closes the file and releases every object, then says what went wrong first.
    EncodeResult finish() {
        const size_t closeMark = LogSize();
        const int32_t closed = close();
        m_videoTrack.reset();
        m_audioTrack.reset();
        m_container.reset();
        m_workers.clear();
        try {
            m_failure.rethrow();
            if (m_sinkError) std::rethrow_exception(m_sinkError);
            if (closed != errNone)
                PluginFailed("closing '" + m_settings.outPath + "'", closed, closeMark);
        } catch (...) {
            m_result.pluginError = std::current_exception();
        }
        m_result.progress = m_progress;
        return m_result;
    }

    [[nodiscard]] double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    }

    const Driver& m_driver;
    const EncodeSettings& m_settings;
    VideoSource& m_video;
    const FrameConverter& m_converter;
    AudioSource* const m_audio;
    const AudioFormat* const m_sound;
    const std::function<void(const EncodeProgress&)>& m_onProgress;
    const PictureFormat& m_picture;
    const unsigned m_jobs;
    const size_t m_logMark;
    const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
    PacketSink* const m_sink = m_settings.sink;

    std::vector<std::unique_ptr<Worker>> m_workers;
    Container m_container;
    Track m_videoTrack, m_audioTrack;
    bool m_mustClose = false;
    std::exception_ptr m_sinkError;

    Failure m_failure;
    SpareBuffers m_spare;
    EncodeResult m_result;
    EncodeProgress m_progress;
    std::atomic<bool> m_inputCut{false};  // the input did not end cleanly: no audio tail
    std::vector<uint8_t> m_samples;
};

}  // namespace

uint64_t AudioFramesUntil(uint64_t frames, const PictureFormat& picture, uint32_t sampleRate) {
    return (frames * picture.scale * sampleRate) / picture.rate;
}

std::string PluginMessagesSince(size_t first) {
    const auto entries = Host::instance().log().entries();
    std::string text;
    for (size_t i = first; i < entries.size(); ++i) {
        if (!text.empty()) text += "; ";
        text += entries[i].text;
    }
    return text;
}

EncodeSession::EncodeSession(const Driver& driver, EncodeSettings settings, VideoSource& video,
                             const FrameConverter& converter, AudioSource* audio)
    : m_driver(driver),
      m_settings(std::move(settings)),
      m_video(video),
      m_converter(converter),
      m_audio(audio) {}

EncodeResult EncodeSession::run() {
    return ExportRun(m_driver, m_settings, m_video, m_converter, m_audio, m_onProgress).run();
}

}  // namespace iohost
