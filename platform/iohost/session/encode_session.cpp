#include "platform/iohost/session/encode_session.h"

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
    const PictureFormat& picture = m_video.format();
    const unsigned jobs = std::max(1u, m_settings.jobs);
    const size_t logMark = Host::instance().log().entries().size();
    const auto started = std::chrono::steady_clock::now();

    // Encoders first: their cookie goes into the video track.
    std::vector<std::unique_ptr<Worker>> workers;
    StreamSettings stream;
    stream.width = picture.width;
    stream.height = picture.height;
    stream.rate = picture.rate;
    stream.scale = picture.scale;
    // The host's codes: field order 1 progressive, 2 top field first, 4 bottom field first;
    // data range 1 full, 0 limited (RGB is always full).
    static constexpr uint8_t kFieldOrder[] = {0, 1, 2, 4};
    stream.fieldOrder = kFieldOrder[static_cast<int>(picture.scan)];
    stream.dataRange = picture.isRgb() || picture.range == Range::Full ? 1 : 0;
    stream.hasAlpha = picture.hasAlpha();
    stream.path = m_settings.outPath;
    stream.codecContainers = m_settings.container.name;
    for (unsigned j = 0; j < jobs; ++j) {
        auto worker = std::make_unique<Worker>();
        if (int32_t code = m_driver.createEncoder(m_settings.codec.uuid, worker->encoder);
            code != errNone)
            PluginFailed("creating the \"" + m_settings.codec.name + "\" encoder", code, logMark);
        Worker* w = worker.get();
        if (int32_t code = w->encoder.setCallback([w](HostRef<HostBuffer> packet) {
                w->delivered = std::move(packet);
                return errNone;
            });
            code != errNone)
            PluginFailed("setting the encoder's callback", code, logMark);
        if (int32_t code = w->encoder.configure(); code != errNone)
            PluginFailed("configuring the encoder", code, logMark);
        if (int32_t code = w->encoder.open(stream); code != errNone)
            PluginFailed("opening the \"" + m_settings.codec.name + "\" encoder for " +
                             std::to_string(picture.width) + "x" + std::to_string(picture.height),
                         code, logMark);
        workers.push_back(std::move(worker));
    }

    PacketSink* const sink = m_settings.sink;
    Container container;
    Track video, audio;
    // The container and its tracks hold each other until contClose: every way out closes it.
    bool closeSent = false;
    std::exception_ptr sinkError;
    const auto close = [&]() -> int32_t {
        closeSent = true;
        if (sink == nullptr) return container.close();
        try {
            sink->close();
        } catch (...) {
            sinkError = std::current_exception();
            return errFail;
        }
        return errNone;
    };
    struct CloseOnExit {
        const std::function<int32_t()> close;
        bool& sent;
        ~CloseOnExit() {
            if (!sent) (void)close();
        }
    } closeOnExit{[&] { return sink != nullptr || container ? close() : errNone; }, closeSent};
    if (sink == nullptr) {
        if (int32_t code = m_driver.createContainer(m_settings.container.uuid, container);
            code != errNone)
            PluginFailed("creating the container", code, logMark);
        if (int32_t code = container.init(); code != errNone)
            PluginFailed("initialising the container", code, logMark);
        VideoTrackSettings videoSettings;
        videoSettings.width = picture.width;
        videoSettings.height = picture.height;
        videoSettings.rate = picture.rate;
        videoSettings.scale = picture.scale;
        videoSettings.fourcc = m_settings.codec.fourcc;
        videoSettings.cookie = workers.front()->encoder.cookie();
        if (int32_t code = container.addVideoTrack(videoSettings, video); code != errNone)
            PluginFailed("adding the video track", code, logMark);
        if (m_audio != nullptr) {
            const AudioFormat& a = m_audio->format();
            AudioTrackSettings audioSettings;
            audioSettings.samplingRate = a.sampleRate;
            audioSettings.numChannels = a.channels;
            audioSettings.sampleBits = a.bitsPerSample;
            audioSettings.isFloat = a.isFloat;
            audioSettings.audLayout = a.audLayout();
            if (int32_t code = container.addAudioTrack(audioSettings, audio); code != errNone)
                PluginFailed("adding the audio track", code, logMark);
        }
        if (int32_t code = container.open(m_settings.outPath); code != errNone)
            PluginFailed("creating '" + m_settings.outPath + "'", code, logMark);
    }

    Failure failure;
    SpareBuffers spare;
    EncodeResult result;
    std::atomic<bool> inputCut{false};  // the input did not end cleanly: no audio tail
    auto stopAll = [&] {
        for (auto& w : workers) {
            w->in.close();
            w->out.close();
        }
    };
    auto guard = [&](auto&& body) {
        try {
            body();
        } catch (...) {
            failure.set(std::current_exception());
            stopAll();
        }
    };

    for (auto& worker : workers) {
        Worker* w = worker.get();
        w->thread = std::thread([&, w] {
            LeaveStopSignalsToOtherThreads();
            guard([&] {
                while (auto frame = w->in.pop()) {
                    const size_t mark = Host::instance().log().entries().size();
                    const int32_t code = w->encoder.process(*frame->buffer);
                    spare.put(std::move(frame->buffer));
                    if (code != errNone || !w->delivered)
                        PluginFailed("encoding frame " + std::to_string(frame->index), code, mark);
                    if (!w->out.push(std::move(w->delivered))) return;
                }
                w->out.close();
            });
        });
    }

    EncodeProgress progress;
    progress.expected = m_video.frameCount();
    progress.frames = m_settings.firstFrame;
    progress.audioFrames = m_settings.firstAudioFrame;
    std::thread writer([&] {
        LeaveStopSignalsToOtherThreads();
        guard([&] {
            const AudioFormat* a = m_audio != nullptr ? &m_audio->format() : nullptr;
            std::vector<uint8_t> samples;
            auto writeAudio = [&](uint64_t until) {
                while (progress.audioFrames < until) {
                    // The tail of a WAV file goes in packets of a second or less.
                    const uint64_t want =
                        std::min<uint64_t>(until - progress.audioFrames, a->sampleRate);
                    samples.resize(static_cast<size_t>(want * a->blockAlign()));
                    const size_t got = m_audio->read(samples.data(), static_cast<size_t>(want));
                    if (got == 0) return;
                    samples.resize(got * a->blockAlign());
                    const size_t mark = Host::instance().log().entries().size();
                    if (sink != nullptr)
                        sink->audio(samples.data(), samples.size(), got);
                    else if (int32_t code = audio.write(samples, static_cast<int64_t>(got));
                             code != errNone)
                        PluginFailed("writing audio", code, mark);
                    progress.audioFrames += got;
                }
            };
            const auto audioUntil = [&](uint64_t frames) {
                return AudioFramesUntil(frames, picture, a->sampleRate);
            };
            if (a != nullptr && m_settings.firstFrame > 0)
                writeAudio(audioUntil(m_settings.firstFrame));
            for (uint64_t i = m_settings.firstFrame;; ++i) {
                auto packet = workers[i % jobs]->out.pop();
                if (!packet) break;
                const size_t mark = Host::instance().log().entries().size();
                if (sink != nullptr) {
                    void* data = nullptr;
                    uint64_t size = 0;
                    if ((*packet)->lock(data, size) != errNone)
                        throw std::runtime_error("cannot read frame " + std::to_string(i));
                    sink->video(static_cast<const uint8_t*>(data), size);
                    (void)(*packet)->unlock();
                } else if (int32_t code = video.write(**packet); code != errNone) {
                    PluginFailed("writing frame " + std::to_string(i), code, mark);
                }
                progress.packetBytes += (*packet)->size();
                packet->reset();
                ++progress.frames;
                progress.rawBytes += m_converter.sourceBytes();
                if (a != nullptr) writeAudio(audioUntil(progress.frames));
                progress.seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                        .count();
                if (m_onProgress) m_onProgress(progress);
            }
            if (failure.failed() || inputCut.load()) return;
            if (a != nullptr && !m_audio->endless() &&
                (!m_settings.audioTail || m_settings.audioTail()))
                writeAudio(UINT64_MAX);
        });
    });

    // This thread reads and converts. A bad input or a stop request ends the input like its
    // end: the frames already read go on to the file.
    guard([&] {
        std::vector<uint8_t> source(static_cast<size_t>(m_converter.sourceBytes()));
        const uint64_t rawBytes = m_converter.targetBytes();
        const auto stopRequested = [&] {
            return m_settings.stopRequested && m_settings.stopRequested();
        };
        const auto readFrame = [&] {
            try {
                if (stopRequested()) {
                    result.stopped = true;
                    return false;
                }
                if (m_video.read(source.data())) return true;
                // A stop request ends a read like the end of the input: it must not pass for one.
                result.stopped = stopRequested();
                return false;
            } catch (const InputError&) {
                if (stopRequested()) {
                    result.stopped = true;  // the signal cut a read short
                } else {
                    result.inputError = std::current_exception();
                }
                return false;
            }
        };
        for (uint64_t i = m_settings.firstFrame; !failure.failed(); ++i) {
            if (!readFrame()) {
                inputCut = result.stopped || result.inputError;
                break;
            }
            Frame frame{i, spare.take()};
            void* data = nullptr;
            uint64_t size = 0;
            if (frame.buffer->setSize(rawBytes) != errNone ||
                frame.buffer->lock(data, size) != errNone)
                throw std::runtime_error("cannot make a frame buffer of " +
                                         std::to_string(rawBytes) + " bytes");
            m_converter.convert(source.data(), static_cast<uint8_t*>(data));
            (void)frame.buffer->unlock();
            frame.buffer->setInt32("width", static_cast<int32_t>(picture.width));
            frame.buffer->setInt32("height", static_cast<int32_t>(picture.height));
            frame.buffer->setInt64("pts", static_cast<int64_t>(i));
            if (!workers[i % jobs]->in.push(std::move(frame))) break;
        }
        for (auto& w : workers) w->in.close();
    });

    for (auto& w : workers) w->thread.join();
    writer.join();
    progress.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const size_t closeMark = Host::instance().log().entries().size();
    const int32_t closed = close();
    video.reset();
    audio.reset();
    container.reset();
    workers.clear();
    try {
        failure.rethrow();
        if (sinkError) std::rethrow_exception(sinkError);
        if (closed != errNone)
            PluginFailed("closing '" + m_settings.outPath + "'", closed, closeMark);
    } catch (...) {
        result.pluginError = std::current_exception();
    }
    result.progress = progress;
    return result;
}

}  // namespace iohost
