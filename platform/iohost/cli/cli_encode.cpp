#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "fileio/platform_file.h"
#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/cli/cli.h"
#include "platform/iohost/cli/option_parser.h"
#include "platform/iohost/cli/progress_line.h"
#include "platform/iohost/driver/driver.h"
#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/files/stop_request.h"
#include "platform/iohost/files/utf8_path.h"
#include "platform/iohost/files/write_failure.h"
#include "platform/iohost/media/raw_video_reader.h"
#include "platform/iohost/media/wav_reader.h"
#include "platform/iohost/media/y4m_reader.h"
#include "platform/iohost/picture/frame_rate.h"
#include "platform/iohost/picture/verified_repair.h"
#include "platform/iohost/session/codec_choice.h"
#include "platform/iohost/session/encode_session.h"
#include "platform/iohost/session/part_range.h"
#include "platform/iohost/session/resume_session.h"
#include "platform/iohost/synthetic/test_pattern.h"
#include "platform/iohost/synthetic/tone_source.h"

namespace iohost::cli {

namespace {

struct EncodeOptions {
    std::string output;
    std::string input;  // empty: the test pattern
    std::optional<std::string> codec, pix, format, audio, size, rate, frames, jobs, startFrame;
    bool pattern = false, tone = false, noAudio = false, overwrite = false, allowBitLoss = false,
         progress = false, resume = false;

    std::pair<uint32_t, uint32_t> frameSize{1280, 720};
    FrameRate frameRate;
    std::optional<uint64_t> frameLimit;
    std::optional<uint64_t> firstFrame;  // a part of an export: --start-frame
    unsigned jobCount = 1;
};

constexpr Option<EncodeOptions> kOptions[] = {
    {"--pattern", "the built-in moving test pattern instead of an INPUT", &EncodeOptions::pattern},
    {"--codec", "NAME|4CC",
     "codec by name (\"10-bit YUV 422\") or code (P0Y2); default: the one\n"
     "that keeps every bit of the input",
     &EncodeOptions::codec},
    {"--allow-bit-loss", "accept a codec that keeps fewer bits per sample than the input",
     &EncodeOptions::allowBitLoss},
    {"--pix", "PIXFMT",
     "INPUT is raw frames of this layout: rgb24, rgba, gbrp10le, gbrap12le,\n"
     "gbrp14le, rgb48le, yuv420p10le, ... (needs --size and --rate)",
     &EncodeOptions::pix},
    {"--size", "WxH", "frame size of raw frames or of the pattern (default 1280x720)",
     &EncodeOptions::size},
    {"--rate", "R",
     "frame rate of raw frames or of the pattern: 25, 30000/1001, 29.97\n"
     "(exactly 30000/1001), 23.976, 59.94; default 25",
     &EncodeOptions::rate},
    {"--frames", "N", "stop after N frames (the pattern: default 100)", &EncodeOptions::frames},
    {"--format", "PIXFMT", "layout of the pattern: yuv422p (default), yuv420p10le, gbrp12le, ...",
     &EncodeOptions::format},
    {"--audio", "FILE.wav", "audio from a WAV file (PCM 16/24/32-bit or 32-bit float, 1-8 ch)",
     &EncodeOptions::audio},
    {"--tone", "audio: a built-in stereo tone (without --audio or --tone: no audio)",
     &EncodeOptions::tone},
    {"--no-audio", "no audio, said outright: refuses --audio and --tone", &EncodeOptions::noAudio},
    {"--jobs", "N", "run N encoders on N threads (the same file as --jobs 1)",
     &EncodeOptions::jobs},
    {"-y, --overwrite",
     "replace OUT when it exists: the new file is written beside it\n"
     "and takes its place only when the export is complete; a file that\n"
     "another program is writing is refused",
     &EncodeOptions::overwrite},
    {"--progress", "show the progress line even when standard error is not a terminal",
     &EncodeOptions::progress},
    {"--resume",
     "continue OUT, an export of the same input and settings that was killed,\n"
     "repaired or stopped, from its first missing frame; the file ends as an\n"
     "export never interrupted would have left it. OUT is checked first (headers,\n"
     "the last frame re-encoded, the last audio chunk) and left untouched when it\n"
     "does not match. Without OUT: an ordinary export",
     &EncodeOptions::resume},
    {"--start-frame", "N",
     "encode a part: frames N to N+M-1 (--frames M; default: to the end),\n"
     "the sound cut where a whole export cuts it; 'iohost join' puts parts together",
     &EncodeOptions::startFrame},
};

std::vector<OptionHelp> EncodeHelp() {
    std::vector<OptionHelp> rows{
        {"INPUT",
         "a YUV4MPEG2 file, '-' for a YUV4MPEG2 pipe (ffmpeg -f yuv4mpegpipe), or raw\n"
         "frames with --pix (ffmpeg -f rawvideo)"}};
    for (OptionHelp& row : HelpRows<kOptions>()) rows.push_back(std::move(row));
    return rows;
}

bool ParseNumber(const std::string& text, uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// The options that do not go together, or do not apply to the input.
void CheckCombination(const EncodeOptions& o) {
    if (o.output == "-")
        throw UsageError("OUT must be a file: an AVI file is finished by writing to its start");
    if (o.pattern == !o.input.empty())
        throw UsageError(o.pattern ? "give either INPUT or --pattern, not both"
                                   : "no INPUT: give a file, '-' for standard input, or --pattern");
    const bool raw = o.pix.has_value();
    if (!o.pattern && !raw) {
        for (const auto& [given, name] : {std::pair{o.size, "--size"}, {o.rate, "--rate"}})
            if (given)
                throw UsageError(std::string(name) +
                                 " applies to raw frames (--pix) and --pattern; a YUV4MPEG2 "
                                 "input carries its own");
    }
    if (o.format && !o.pattern) throw UsageError("--format applies to --pattern only");
    if (raw && o.pattern)
        throw UsageError("--pix applies to an INPUT of raw frames, not --pattern");
    if (raw && (!o.size || !o.rate))
        throw UsageError("raw input (--pix) needs --size WxH and --rate R");
    if (o.resume && o.overwrite)
        throw UsageError("--resume continues OUT and -y replaces it: give one of them");
    if (o.audio && o.tone) throw UsageError("--audio and --tone exclude each other");
    if ((o.audio || o.tone) && o.noAudio)
        throw UsageError(std::string(o.tone ? "--tone" : "--audio") +
                         " and --no-audio exclude "
                         "each other");
}

// The numbers the options give.
void ReadNumbers(EncodeOptions& o) {
    if (o.size) {
        const size_t x = o.size->find('x');
        uint64_t w = 0, h = 0;
        if (x == std::string::npos || !ParseNumber(o.size->substr(0, x), w) ||
            !ParseNumber(o.size->substr(x + 1), h) || w == 0 || h == 0 || w > 0x7FFFFFFF ||
            h > 0x7FFFFFFF)
            throw UsageError("bad --size '" + *o.size + "' (use WxH)");
        o.frameSize = {static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
    }
    if (o.rate && !ParseFrameRate(*o.rate, o.frameRate))
        throw UsageError("bad --rate '" + *o.rate + "' (use 25, 30000/1001 or 29.97)");
    if (o.frames) {
        uint64_t n = 0;
        if (!ParseNumber(*o.frames, n) || n == 0)
            throw UsageError("bad --frames '" + *o.frames + "'");
        o.frameLimit = n;
    }
    if (o.startFrame) {
        uint64_t n = 0;
        if (!ParseNumber(*o.startFrame, n))
            throw UsageError("bad --start-frame '" + *o.startFrame + "'");
        if (o.pattern) throw UsageError("--start-frame needs an INPUT");
        o.firstFrame = n;
    }
    if (o.jobs) {
        uint64_t n = 0;
        if (!ParseNumber(*o.jobs, n) || n == 0 || n > 64)
            throw UsageError("bad --jobs '" + *o.jobs + "' (1-64)");
        o.jobCount = static_cast<unsigned>(n);
    }
}

EncodeOptions ParseOptions(const std::vector<std::string>& args) {
    EncodeOptions o;
    const std::vector<std::string> positional = ParseArguments(kOptions, args, o);
    CheckPositionals(positional, 2, "output file");
    o.output = positional[0];
    if (positional.size() == 2) o.input = positional[1];
    CheckCombination(o);
    ReadNumbers(o);
    return o;
}

std::unique_ptr<VideoSource> OpenVideo(const EncodeOptions& o, std::vector<std::string>& notes) {
    if (!o.pix && !o.pattern) {
        auto reader = std::make_unique<Y4mReader>(o.input);
        if (o.allowBitLoss) reader->acceptSamplesAboveDepth();
        notes = reader->notes();
        return reader;
    }
    PictureFormat format;
    const std::string name = o.pix ? *o.pix : o.format.value_or("yuv422p");
    if (!ParsePixelFormat(name, format)) throw InputError("unknown pixel format '" + name + "'");
    format.width = o.frameSize.first;
    format.height = o.frameSize.second;
    format.rate = o.frameRate.rate;
    format.scale = o.frameRate.scale;
    if (o.pix) {
        auto reader = std::make_unique<RawVideoReader>(o.input, format);
        if (o.allowBitLoss) reader->acceptSamplesAboveDepth();
        return reader;
    }
    return std::make_unique<TestPattern>(format, o.frameLimit.value_or(100));
}

// A source that stops after a number of frames of another.
class LimitedSource final : public VideoSource {
public:
    LimitedSource(std::unique_ptr<VideoSource> inner, uint64_t limit)
        : m_inner(std::move(inner)), m_limit(limit) {}
    const PictureFormat& format() const override { return m_inner->format(); }
    bool read(uint8_t* frame) override { return m_done++ < m_limit && m_inner->read(frame); }
    std::optional<uint64_t> frameCount() const override {
        const auto n = m_inner->frameCount();
        return n ? std::min(*n, m_limit) : m_limit;
    }

private:
    std::unique_ptr<VideoSource> m_inner;
    uint64_t m_limit;
    uint64_t m_done = 0;
};

std::string Fixed(double value, int digits) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(digits) << value;
    return text.str();
}

std::string Megabytes(uint64_t bytes) {
    return Fixed(static_cast<double>(bytes) / 1e6, 1) + " MB";
}

// The seconds of video in `frames`.
double VideoSeconds(uint64_t frames, const PictureFormat& picture) {
    return static_cast<double>(frames) * picture.scale / picture.rate;
}

void PrintSummary(const Context& context, const EncodeOptions& o, const PictureFormat& picture,
                  const CodecChoice& choice, const AudioSource* audio, const EncodeProgress& r) {
    std::ostream& err = context.err;
    const CodecInfo& codec = *choice.codec;
    const double fps = r.seconds > 0 ? static_cast<double>(r.frames) / r.seconds : 0;
    err << "Encoded " << r.frames << " frames of " << picture.describe() << " with '" << codec.name
        << "' (" << FourCCToText(codec.fourcc) << "), " << o.jobCount
        << (o.jobCount == 1 ? " job" : " jobs") << "\n";
    if (choice.droppedBits > 0)
        err << "Lossy:  " << choice.droppedBits << " of the " << picture.bitDepth
            << " bits per sample dropped (--allow-bit-loss)\n";
    if (audio != nullptr)
        err << "Audio:  " << r.audioFrames << " sample frames, " << audio->format().channels
            << " ch, " << audio->format().sampleRate << " Hz, " << audio->format().bitsPerSample
            << (audio->format().isFloat ? "-bit float\n" : "-bit PCM\n");
    err << std::fixed << std::setprecision(2) << "Output: " << o.output << "  video "
        << Megabytes(r.packetBytes) << " from " << Megabytes(r.rawBytes) << " raw, ratio "
        << (r.packetBytes > 0 ? static_cast<double>(r.rawBytes) / static_cast<double>(r.packetBytes)
                              : 0.0)
        << ":1\n"
        << std::setprecision(1) << "Speed:  " << fps << " fps, "
        << (r.seconds > 0 ? static_cast<double>(r.rawBytes) / 1e6 / r.seconds : 0.0) << " MB/s, "
        << std::setprecision(2) << r.seconds << " s\n";
}

// After a failed write (a full disk): the file this run made may end in a chunk that holds only
// part of its frame. It is cut back to its last frame that decodes and closed where there is room,
// so that nothing counts a torn frame as whole.
void KeepWholeFramesOnly(const Context& context, const std::string& path) {
    fileio::PlatformFile file;
    if (!file.open(path.c_str(), fileio::File::Read | fileio::File::Write | fileio::File::Existing))
        return;
    std::string note;
    try {
        (void)RepairInPlace(file, note);
    } catch (const std::exception& e) {
        note = std::string("closing it again failed: ") + e.what();
    }
    if (!note.empty()) Warn(context, note);
}

// Whether the kept file's headers and indexes agree with its chunks.
bool FileIsConsistent(const std::string& path) {
    try {
        return !avireader::hasErrors(avireader::checkAvi(avireader::readAvi(path)));
    } catch (const std::exception&) {
        return false;
    }
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// One run of encode, step by step: the output is checked, the module loaded, the sources opened
// and the codec chosen (everything that can be refused is refused before the output exists), the
// frames encoded, then the file kept, finished or removed.
class EncodeRun {
public:
    EncodeRun(const Context& context, EncodeOptions options)
        : m_context(context), m_o(std::move(options)) {}

    int run();

private:
    std::optional<int> prepare();
    std::vector<std::string> openVideo();
    void chooseCodec();
    void openAudio();
    void skipToFirstFrame();
    ResumePoint checkOutput();
    [[nodiscard]] int stoppedBeforeTheFirstFrame() const;
    [[nodiscard]] EncodeSettings settings() const;
    EncodeResult encode(const EncodeSettings& settings);
    int finish(const EncodeSettings& settings, const EncodeResult& result);
    [[nodiscard]] std::string failure(const EncodeResult& result,
                                      const EncodeSettings& settings) const;
    void recordPart(const EncodeSettings& settings, uint64_t frames, std::string& why);
    int finishResumed(const EncodeProgress& done, const std::string& why, int status);
    int discardEmpty(const std::string& why, int status);
    int keepCutShort(const EncodeProgress& done, const std::string& why, int status);

    const Context& m_context;
    const EncodeOptions m_o;
    bool m_resuming = false;
    std::optional<OutputGuard> m_guard;
    fileio::PlatformFile m_resumed;  // the file continued, held from the check to the end
    std::optional<ResumePoint> m_point;
    std::optional<PluginModule> m_module;
    std::optional<StopRequest> m_stop;
    std::unique_ptr<VideoSource> m_whole, m_video;
    RangeSource* m_range = nullptr;  // m_video, when a part of the input is encoded
    std::unique_ptr<AudioSource> m_audio;
    uint64_t m_droppedSound = 0;
    CodecChoice m_choice;
    std::optional<FrameConverter> m_converter;
    std::optional<Driver> m_driver;
    std::vector<ContainerInfo> m_containers;
    std::vector<CodecInfo> m_codecs;
};

int EncodeRun::run() {
    // A file to continue is held from the check to the end; nothing else is created.
    std::error_code absent;
    m_resuming = m_o.resume && std::filesystem::exists(Utf8Path(m_o.output), absent);
    std::vector<std::string> inputs;
    if (!m_o.input.empty()) inputs.push_back(m_o.input);
    if (m_o.audio) inputs.push_back(*m_o.audio);
    if (!m_resuming) m_guard.emplace(m_o.output, m_o.overwrite, inputs);
    if (!Lower(m_o.output).ends_with(".avi"))
        Warn(m_context,
             "'" + m_o.output + "' does not end in .avi; it is an AVI file all the same");
    if (!LoadPlugin(m_context, m_module)) return kExitFailure;
    m_stop.emplace();
    m_driver.emplace(*m_module);
    if (const std::optional<int> refused = prepare()) return *refused;
    const EncodeSettings exportSettings = settings();
    return finish(exportSettings, encode(exportSettings));
}

// Answers the exit status of a refusal.
std::optional<int> EncodeRun::prepare() {
    try {
        const std::vector<std::string> notes = openVideo();
        chooseCodec();
        // Interlacing and range reach the encoder's settings and come back; the rest cannot.
        if (!notes.empty()) {
            std::string list;
            for (const std::string& note : notes) list += (list.empty() ? "" : ", ") + note;
            Warn(m_context, "the input's " + list + " will not come back from the AVI file");
        }
        openAudio();
        skipToFirstFrame();
        if (StopRequest::signal() != 0) return stoppedBeforeTheFirstFrame();
        if (m_resuming)
            m_point = checkOutput();
        else
            m_guard->create();
    } catch (const ResumeRefused& e) {
        m_context.error() << "cannot resume '" << m_o.output << "': " << e.what()
                          << "; left untouched\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        if (StopRequest::signal() != 0) return stoppedBeforeTheFirstFrame();
        m_context.error() << e.what() << "\n";
        return kExitFailure;
    }
    return std::nullopt;
}

// Answers what the input says that the AVI file cannot keep.
std::vector<std::string> EncodeRun::openVideo() {
    std::vector<std::string> notes;
    m_video = OpenVideo(m_o, notes);
    if (m_o.firstFrame) {
        m_whole = std::move(m_video);
        auto part = std::make_unique<RangeSource>(*m_whole, *m_o.firstFrame, m_o.frameLimit);
        m_range = part.get();
        m_video = std::move(part);
    } else if (m_o.frameLimit && !m_o.pattern) {
        m_video = std::make_unique<LimitedSource>(std::move(m_video), *m_o.frameLimit);
    }
    const PictureFormat& picture = m_video->format();
    if (std::string problem = FrameRateProblem({picture.rate, picture.scale}); !problem.empty())
        throw InputError(problem);
    return notes;
}

void EncodeRun::chooseCodec() {
    const PictureFormat& picture = m_video->format();
    if (m_driver->listCodecs(m_codecs) != errNone ||
        m_driver->listContainers(m_containers) != errNone || m_containers.empty())
        throw std::runtime_error("the plug-in does not list its codecs and container");
    m_choice = ChooseCodec(m_codecs, picture, m_o.codec.value_or(""), m_o.allowBitLoss);
    const CodecInfo& codec = *m_choice.codec;
    const auto layout =
        RawLayoutOf(codec.colorModel, codec.hSubsampling, codec.vSubsampling, codec.bitDepth);
    if (!layout) throw InputError("codec '" + codec.name + "' takes a raw layout unknown here");
    std::string why;
    m_converter = FrameConverter::make(picture, *layout, why);
    if (!m_converter) throw InputError(why + " ('" + codec.name + "')");
    if (picture.frameBytes() > 0xFFFFFFFFu || picture.width > 32767 || picture.height > 32767)
        throw InputError("frames of " + std::to_string(picture.width) + "x" +
                         std::to_string(picture.height) + " are too large for '" + codec.name +
                         "'");
}

void EncodeRun::openAudio() {
    if (m_o.audio) {
        auto wav = std::make_unique<WavReader>(*m_o.audio, WavReader::ShortData::ReadToEnd);
        for (const std::string& note : wav->notes()) Warn(m_context, note);
        m_audio = std::move(wav);
    }
    if (m_o.tone) m_audio = std::make_unique<ToneSource>(48000, 2);
}

// A part of an export: the frames and the sound before it are read and dropped.
void EncodeRun::skipToFirstFrame() {
    if (m_range == nullptr) return;
    if (!m_range->skip())
        throw InputError("the input ends before frame " + std::to_string(*m_o.firstFrame));
    if (m_audio) m_droppedSound = DropSound(*m_audio, m_video->format(), *m_o.firstFrame);
}

// Opens OUT to continue it, held against other writers, and checks it against the export.
ResumePoint EncodeRun::checkOutput() {
    if (!m_resumed.open(m_o.output.c_str(),
                        fileio::File::Read | fileio::File::Write | fileio::File::Existing))
        throw ResumeRefused("it cannot be opened for writing, or another program is writing it");
    EncodeSettings check = settings();
    check.stopRequested = {};
    return CheckResume(*m_driver, check, m_resumed, *m_video, *m_converter, m_audio.get());
}

int EncodeRun::stoppedBeforeTheFirstFrame() const {
    m_context.error() << "stopped by " << StopRequest::name(StopRequest::signal())
                      << " before the first frame\n";
    return kExitSignalBase + StopRequest::signal();
}

EncodeSettings EncodeRun::settings() const {
    EncodeSettings settings{.outPath = m_resuming ? m_o.output : m_guard->writePath(),
                            .codec = *m_choice.codec,
                            .container = m_containers.front(),
                            .jobs = m_o.jobCount,
                            .stopRequested = [] { return StopRequest::signal() != 0; },
                            .firstFrame = m_o.firstFrame.value_or(0),
                            .firstAudioFrame = m_droppedSound};
    if (m_range != nullptr) settings.audioTail = [range = m_range] { return range->reachedEnd(); };
    return settings;
}

EncodeResult EncodeRun::encode(const EncodeSettings& settings) {
    EncodeSession session(*m_driver, settings, *m_video, *m_converter, m_audio.get());
    ProgressMeter meter(m_context.err,
                        !m_context.options.quiet && (m_o.progress || ErrIsTerminal(m_context)));
    std::mutex progressMutex;
    const std::function<void(const EncodeProgress&)> showProgress = [&](const EncodeProgress& p) {
        std::lock_guard lock(progressMutex);
        meter.update(p.frames, p.expected, p.seconds, p.rawBytes);
    };
    session.onProgress(showProgress);
    EncodeResult result = m_resuming
                              ? ContinueExport(*m_driver, settings, m_resumed, *m_point, *m_video,
                                               *m_converter, m_audio.get(), {}, showProgress)
                              : session.run();
    meter.finish();
    return result;
}

int EncodeRun::finish(const EncodeSettings& settings, const EncodeResult& result) {
    const EncodeProgress& done = result.progress;
    std::string why = failure(result, settings);
    recordPart(settings, done.frames, why);
    if (m_audio != nullptr) {
        const PictureFormat& picture = m_video->format();
        const std::string longer = AudioLengthNote(done.audioFrames, m_audio->format().sampleRate,
                                                   done.frames, picture.rate, picture.scale);
        if (!longer.empty()) Warn(m_context, longer);
    }
    if (result.pluginError && !m_resuming && done.frames > settings.firstFrame)
        KeepWholeFramesOnly(m_context, m_guard->writePath());
    const int status = result.stopped ? kExitSignalBase + StopRequest::signal()
                       : why.empty()  ? kExitOk
                                      : kExitFailure;
    if (m_resuming) return finishResumed(done, why, status);
    if (done.frames == settings.firstFrame) return discardEmpty(why, status);
    if (!m_context.options.quiet)
        PrintSummary(m_context, m_o, m_video->format(), m_choice, m_audio.get(), done);
    if (why.empty()) {
        m_guard->commit();
        return status;
    }
    return keepCutShort(done, why, status);
}

// Why the export fell short; empty when it did not.
std::string EncodeRun::failure(const EncodeResult& result, const EncodeSettings& settings) const {
    const auto message = [](const std::exception_ptr& error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
    };
    if (result.pluginError)
        return message(result.pluginError) + WriteFailureReason(settings.outPath);
    if (result.inputError) return "the input failed: " + message(result.inputError);
    if (result.stopped)
        return std::string("stopped by ") + StopRequest::name(StopRequest::signal());
    if (result.progress.frames == settings.firstFrame) return "the input holds no frames";
    return "";
}

// A part of an export says in the file which frames it holds.
void EncodeRun::recordPart(const EncodeSettings& settings, uint64_t frames, std::string& why) {
    if (m_range == nullptr || frames <= settings.firstFrame) return;
    try {
        const PartRange held{settings.firstFrame, frames - settings.firstFrame,
                             why.empty() && m_range->reachedEnd()};
        if (m_resuming)
            WritePartRange(m_resumed, scanAvi(m_resumed), held);
        else
            RecordPart(m_guard->writePath(), held);
    } catch (const std::exception& e) {
        if (why.empty()) why = e.what();
    }
}

int EncodeRun::finishResumed(const EncodeProgress& done, const std::string& why, int status) {
    m_resumed.close();
    if (!m_context.options.quiet) {
        m_context.err << "Resumed after frame " << m_point->frames << " of '" << m_o.output
                      << "'\n";
        PrintSummary(m_context, m_o, m_video->format(), m_choice, m_audio.get(), done);
    }
    if (!why.empty())
        m_context.error() << why << "; '" << m_o.output << "' holds " << done.frames << " frames, "
                          << (FileIsConsistent(m_o.output) ? "closed" : "not closed")
                          << ": --resume continues it\n";
    return status;
}

// No frame was written: the file this run made goes, one it was to replace stays as it was.
int EncodeRun::discardEmpty(const std::string& why, int status) {
    OutputGuard& guard = *m_guard;
    const bool removed = guard.discardIfCreated();
    m_context.error() << why;
    if (guard.replaces())
        m_context.err << "; '" << m_o.output << "' was left as it was";
    else if (removed)
        m_context.err << "; no frame was written, '" << m_o.output << "' removed";
    m_context.err << "\n";
    return status;
}

// A cut-short export never replaces a complete file: it stays beside it.
int EncodeRun::keepCutShort(const EncodeProgress& done, const std::string& why, int status) {
    const std::string& path = m_guard->writePath();
    m_context.error() << why << "\n";
    m_context.error() << "kept '" << path << "': " << done.frames << " frames ("
                      << Fixed(VideoSeconds(done.frames, m_video->format()), 2)
                      << " s) written before that, "
                      << (FileIsConsistent(path)
                              ? "file closed and consistent\n"
                              : "but its closing could not be written (see iohost inspect)\n");
    if (m_guard->replaces()) m_context.error() << "'" << m_o.output << "' was left as it was\n";
    return status;
}

int RunEncode(Context& context) {
    return EncodeRun(context, ParseOptions(context.args)).run();
}

}  // namespace

constexpr Command kEncode{
    "encode",
    "OUT.avi INPUT|-|--pattern",
    "encode video (and audio) into an AVI file",
    &RunEncode,
    &EncodeHelp,
#ifdef _WIN32
    "Ctrl-C, Ctrl-Break or closing the console stops reading and finishes the file with\n"
    "the frames so far (exit 130, 149 or 129). OUT is never the same file as an input.\n"};
#else
    "Ctrl-C, SIGTERM or SIGHUP stops reading and finishes the file with the frames so far\n"
    "(exit 130, 143 or 129). OUT is never the same file as an input.\n"};
#endif

}  // namespace iohost::cli
