#include "platform/iohost/session/resume_session.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "avi/four_cc.h"
#include "avi/little_endian_buffer.h"
#include "fileio/platform_file.h"
#include "platform/iohost/files/utf8_path.h"

namespace iohost {

namespace {

// The input's format without its frames: the plug-in writes the header it would write for it.
class NoFrames final : public VideoSource {
public:
    explicit NoFrames(const PictureFormat& format) : m_format(format) {}
    const PictureFormat& format() const override { return m_format; }
    bool read(uint8_t*) override { return false; }
    std::optional<uint64_t> frameCount() const override { return 0; }

private:
    const PictureFormat& m_format;
};

class NoSound final : public AudioSource {
public:
    explicit NoSound(const AudioFormat& format) : m_format(format) {}
    const AudioFormat& format() const override { return m_format; }
    size_t read(uint8_t*, size_t) override { return 0; }
    bool endless() const override { return false; }

private:
    const AudioFormat& m_format;
};

// One frame already read.
class OneFrame final : public VideoSource {
public:
    OneFrame(const PictureFormat& format, const std::vector<uint8_t>& frame)
        : m_format(format), m_frame(frame) {}
    const PictureFormat& format() const override { return m_format; }
    bool read(uint8_t* frame) override {
        if (m_done) return false;
        m_done = true;
        std::copy(m_frame.begin(), m_frame.end(), frame);
        return true;
    }
    std::optional<uint64_t> frameCount() const override { return 1; }

private:
    const PictureFormat& m_format;
    const std::vector<uint8_t>& m_frame;
    bool m_done = false;
};

class CapturedPacket final : public PacketSink {
public:
    void video(const uint8_t* data, uint64_t size) override { bytes.assign(data, data + size); }
    void audio(const uint8_t*, uint64_t, uint64_t) override {}
    void close() override {}

    std::vector<uint8_t> bytes;
};

// Hands packets to the writer as the plug-in's container does: video chunks last one frame and
// are key frames, audio chunks last their sample frames; empty packets make no chunk.
class WriterSink final : public PacketSink {
public:
    WriterSink(AviWriter& writer, size_t videoStream, size_t audioStream)
        : m_writer(writer), m_video(videoStream), m_audio(audioStream) {}
    void video(const uint8_t* data, uint64_t size) override {
        if (size > 0) m_writer.writeChunk(m_video, data, size, 1, true);
    }
    void audio(const uint8_t* data, uint64_t size, uint64_t frames) override {
        if (size > 0)
            m_writer.writeChunk(m_audio, data, size, static_cast<uint32_t>(frames), false);
    }
    void close() override { m_writer.finalize(); }

private:
    AviWriter& m_writer;
    size_t m_video, m_audio;
};

[[noreturn]] void Refuse(const std::string& why) {
    throw ResumeRefused(why);
}

std::string Text4(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>(code >> (8 * i));
        text += c >= ' ' && c <= '~' ? c : '?';
    }
    return text;
}

void RethrowFailure(const EncodeResult& result) {
    for (const auto& error : {result.pluginError, result.inputError})
        if (error) std::rethrow_exception(error);
}

// The header the plug-in writes for these sources and settings, read back from a file of its own.
AviScan PluginHeader(const Driver& driver, EncodeSettings settings, const PictureFormat& picture,
                     const FrameConverter& converter, AudioSource* audio) {
    std::random_device random;
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("iohost-header-" + std::to_string(random()) + std::to_string(random()) + ".avi");
    const std::u8string utf8 = path.u8string();
    settings.outPath.assign(utf8.begin(), utf8.end());
    settings.sink = nullptr;
    settings.firstFrame = settings.firstAudioFrame = 0;
    settings.stopRequested = nullptr;
    settings.jobs = 1;
    NoFrames video(picture);
    std::optional<NoSound> sound;
    if (audio != nullptr) sound.emplace(audio->format());
    EncodeSession session(driver, settings, video, converter, sound ? &*sound : nullptr);
    const EncodeResult result = session.run();
    AviScan scan;
    {
        fileio::PlatformFile file;
        if (file.open(settings.outPath.c_str(), fileio::File::Read)) scan = scanAvi(file);
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    RethrowFailure(result);
    if (scan.verdict != AviScan::Verdict::Ours)
        throw std::runtime_error("the plug-in's own header cannot be read back: " + scan.reason);
    return scan;
}

std::vector<uint8_t> Bytes(const auto& header) {
    LittleEndianBuffer out;
    header.serialize(out);
    return out.take();
}

std::vector<uint8_t> ChunkBytes(fileio::File& file, const ScannedChunk& chunk) {
    std::vector<uint8_t> bytes(chunk.size);
    if (!file.seek(chunk.pos + 8) || file.read(bytes.data(), bytes.size()) != bytes.size())
        Refuse("cannot read the chunk at byte " + std::to_string(chunk.pos));
    return bytes;
}

// The packet the plug-in makes of one frame already read (frame settings.firstFrame).
std::vector<uint8_t> EncodeOne(const Driver& driver, EncodeSettings settings,
                               const PictureFormat& picture, const FrameConverter& converter,
                               const std::vector<uint8_t>& frame) {
    CapturedPacket packet;
    settings.sink = &packet;
    settings.firstAudioFrame = 0;
    settings.stopRequested = nullptr;
    settings.jobs = 1;
    OneFrame source(picture, frame);
    EncodeSession session(driver, settings, source, converter, nullptr);
    RethrowFailure(session.run());
    return std::move(packet.bytes);
}

// Reads the sources along a file's chunks and refuses where the chunks are not in the order the
// export writes them: each frame, then the sound up to its end in packets of a second or less;
// after the last frame the rest of the sound. A part starts where its range does, with the
// sources already there.
class ExportOrder {
public:
    ExportOrder(const EncodeSettings& settings, const FrameConverter& converter, VideoSource& video,
                AudioSource* audio, ResumePoint& point)
        : m_settings(settings),
          m_picture(video.format()),
          m_video(video),
          m_audio(audio),
          m_sound(audio != nullptr ? &audio->format() : nullptr),
          m_blockAlign(m_sound != nullptr ? m_sound->blockAlign() : 0),
          m_first(settings.firstFrame),
          m_frames(point.frames),
          m_done(point.audioFrames),
          m_frame(static_cast<size_t>(converter.sourceBytes())) {
        m_frames = m_first;
        m_done = settings.firstAudioFrame;
    }

    void video(const ScannedChunk& chunk) {
        // Sound still due is missing only where the input's sound has ended.
        if (m_sound != nullptr && !m_soundEnded && soundDue()) {
            std::vector<uint8_t> probe(m_blockAlign);
            m_soundEnded = m_audio->read(probe.data(), 1) == 0;
        }
        if (m_tail || (m_sound != nullptr && !m_soundEnded && soundDue()))
            Refuse("the file's sound is not the export's: a frame where sound was due" + At(chunk));
        if (!m_video.read(m_frame.data()))
            Refuse("the input ends after " + std::to_string(m_frames) +
                   " frames; the file holds more");
        ++m_frames;
        m_lastVideo = &chunk;
    }

    void audio(const ScannedChunk& chunk) {
        const uint64_t due = soundDue()           ? until(m_frames) - m_done
                             : m_frames > m_first ? UINT64_MAX
                                                  : 0;
        const uint64_t want = std::min<uint64_t>(due, m_sound->sampleRate);
        if (m_soundEnded || chunk.size % m_blockAlign != 0 || chunk.size / m_blockAlign > want)
            Refuse("the file's sound is not the export's: a chunk of " +
                   std::to_string(chunk.size) + " bytes" + At(chunk));
        m_tail = m_tail || due == UINT64_MAX;
        const uint64_t count = chunk.size / m_blockAlign;
        m_samples.resize(chunk.size);
        if (m_audio->read(m_samples.data(), static_cast<size_t>(count)) != count)
            Refuse("the input's sound ends before the file's");
        m_soundEnded = count < want;
        m_done += count;
        m_lastAudio = &chunk;
    }

    // After the file's last chunk.
    void end() {
        if (!m_tail) return;
        std::vector<uint8_t> more(m_frame.size());
        if (m_video.read(more.data()) || (m_settings.audioTail && !m_settings.audioTail()))
            Refuse("the file's sound goes on after its last frame but the input has more frames");
    }

    [[nodiscard]] const ScannedChunk* lastVideo() const { return m_lastVideo; }
    [[nodiscard]] const ScannedChunk* lastAudio() const { return m_lastAudio; }
    // The input's last frame read and the sound of the last audio chunk.
    [[nodiscard]] const std::vector<uint8_t>& frame() const { return m_frame; }
    [[nodiscard]] const std::vector<uint8_t>& sound() const { return m_samples; }

private:
    static std::string At(const ScannedChunk& chunk) {
        return " (chunk at byte " + std::to_string(chunk.pos) + ")";
    }
    [[nodiscard]] uint64_t until(uint64_t frames) const {
        return AudioFramesUntil(frames, m_picture, m_sound->sampleRate);
    }
    [[nodiscard]] bool soundDue() const { return m_frames > m_first && m_done < until(m_frames); }

    const EncodeSettings& m_settings;
    const PictureFormat& m_picture;
    VideoSource& m_video;
    AudioSource* m_audio;
    const AudioFormat* m_sound;
    const uint64_t m_blockAlign;
    const uint64_t m_first;
    uint64_t& m_frames;
    uint64_t& m_done;
    std::vector<uint8_t> m_frame, m_samples;
    const ScannedChunk* m_lastVideo = nullptr;
    const ScannedChunk* m_lastAudio = nullptr;
    bool m_soundEnded = false, m_tail = false;
};

}  // namespace

void CompareHeaders(const AviScan& file, const AviScan& ours) {
    const auto audioCount = [](const AviScan& scan) {
        return std::count_if(scan.streams.begin(), scan.streams.end(),
                             [](const auto& s) { return s.header.fccType == fourCC("auds"); });
    };
    if (audioCount(file) != audioCount(ours) || file.streams.size() != ours.streams.size())
        Refuse("other audio layout: the file has " + std::to_string(audioCount(file)) +
               " audio streams, the export " + std::to_string(audioCount(ours)));
    const AviMainHeader &fm = file.mainHeader, &om = ours.mainHeader;
    if (fm.dwWidth != om.dwWidth || fm.dwHeight != om.dwHeight)
        Refuse("other size: the file's frames are " + std::to_string(fm.dwWidth) + "x" +
               std::to_string(fm.dwHeight) + ", the input's " + std::to_string(om.dwWidth) + "x" +
               std::to_string(om.dwHeight));
    for (size_t i = 0; i < file.streams.size(); ++i) {
        AviStreamHeader f = file.streams[i].header, o = ours.streams[i].header;
        const bool video = o.fccType == fourCC("vids");
        if (video && (f.dwRate != o.dwRate || f.dwScale != o.dwScale))
            Refuse("other frame rate: the file's is " + std::to_string(f.dwRate) + "/" +
                   std::to_string(f.dwScale) + ", the input's " + std::to_string(o.dwRate) + "/" +
                   std::to_string(o.dwScale));
        if (video && f.fccHandler != o.fccHandler)
            Refuse("other codec: the file's is '" + Text4(f.fccHandler) + "', the export's '" +
                   Text4(o.fccHandler) + "'");
        if (!video && file.streams[i].format != ours.streams[i].format)
            Refuse(
                "other audio layout: the file's sound is not the input's (rate, channels or "
                "sample format)");
        if (file.streams[i].format != ours.streams[i].format)
            Refuse("other codec settings: the file's video format differs from the export's");
        // What the chunks change is left out; everything else is set before the first chunk.
        f.dwLength = o.dwLength = 0;
        f.dwSuggestedBufferSize = o.dwSuggestedBufferSize = 0;
        if (Bytes(f) != Bytes(o) || file.streams[i].strhPos != ours.streams[i].strhPos ||
            file.streams[i].indxPos != ours.streams[i].indxPos ||
            file.streams[i].indxSize != ours.streams[i].indxSize)
            Refuse("stream " + std::to_string(i) + "'s header differs from the export's");
    }
    AviMainHeader f = fm, o = om;
    f.dwTotalFrames = o.dwTotalFrames = 0;
    f.dwSuggestedBufferSize = o.dwSuggestedBufferSize = 0;
    if (Bytes(f) != Bytes(o) || file.avihPos != ours.avihPos || file.dmlhPos != ours.dmlhPos ||
        file.segments.front().moviStart != ours.segments.front().moviStart)
        Refuse("the main header differs from the export's");
}

ResumePoint CheckResume(const Driver& driver, const EncodeSettings& settings, fileio::File& out,
                        VideoSource& video, const FrameConverter& converter, AudioSource* audio) {
    ResumePoint point;
    point.scan = scanAvi(out);
    const AviScan& scan = point.scan;
    if (scan.verdict != AviScan::Verdict::Ours)
        Refuse("not an export of this plug-in's AVI writer: " + scan.reason);
    const PictureFormat& picture = video.format();
    CompareHeaders(scan, PluginHeader(driver, settings, picture, converter, audio));

    ExportOrder order(settings, converter, video, audio, point);
    for (const ScannedSegment& segment : scan.segments) {
        for (const ScannedChunk& chunk : segment.chunks) {
            if (scan.streams[chunk.stream].header.fccType == fourCC("vids"))
                order.video(chunk);
            else
                order.audio(chunk);
        }
    }
    order.end();
    if (order.lastAudio() != nullptr && ChunkBytes(out, *order.lastAudio()) != order.sound())
        Refuse("the file's sound is not the input's (its last audio chunk differs)");
    if (order.lastVideo() != nullptr) {
        EncodeSettings once = settings;
        once.firstFrame = point.frames - 1;
        if (ChunkBytes(out, *order.lastVideo()) !=
            EncodeOne(driver, once, picture, converter, order.frame()))
            Refuse("frame " + std::to_string(point.frames - 1) +
                   " differs from the input's encoded with these settings: other input or codec");
    }
    return point;
}

EncodeResult ContinueExport(const Driver& driver, EncodeSettings settings,
                            fileio::PlatformFile& out, const ResumePoint& point, VideoSource& video,
                            const FrameConverter& converter, AudioSource* audio,
                            const AviLimits& limits,
                            std::function<void(const EncodeProgress&)> onProgress) {
    const AviScan& scan = point.scan;
    // Whatever follows the last whole chunk (a torn chunk, indexes, a finished file's closing) is
    // written again by the writer; a missing pad byte comes back as the zero it was.
    if (static_cast<uint64_t>(out.size()) != scan.dataEnd && !out.setSize(scan.dataEnd))
        throw std::runtime_error("cannot cut '" + settings.outPath + "' back to byte " +
                                 std::to_string(scan.dataEnd));
    AviWriter writer(out, limits);
    writer.resume(scan);
    size_t videoStream = 0, audioStream = 0;
    for (size_t i = 0; i < scan.streams.size(); ++i)
        (scan.streams[i].header.fccType == fourCC("vids") ? videoStream : audioStream) = i;
    WriterSink sink(writer, videoStream, audioStream);
    settings.sink = &sink;
    settings.firstFrame = point.frames;
    settings.firstAudioFrame = point.audioFrames;
    EncodeSession session(driver, std::move(settings), video, converter, audio);
    session.onProgress(std::move(onProgress));
    return session.run();
}

}  // namespace iohost
