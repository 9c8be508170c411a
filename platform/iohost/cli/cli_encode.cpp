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

bool ParseNumber(const std::string& text, uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// Fills `o`; throws UsageError.
void ParseOptions(const std::vector<std::string>& args, EncodeOptions& o) {
    OptionParser parser;
    parser.value({"--codec"}, o.codec)
        .value({"--pix"}, o.pix)
        .value({"--format"}, o.format)
        .value({"--audio"}, o.audio)
        .value({"--size"}, o.size)
        .value({"--rate"}, o.rate)
        .value({"--frames"}, o.frames)
        .value({"--jobs"}, o.jobs)
        .value({"--start-frame"}, o.startFrame)
        .flag({"--pattern"}, o.pattern)
        .flag({"--tone"}, o.tone)
        .flag({"--no-audio"}, o.noAudio)
        .flag({"-y", "--overwrite"}, o.overwrite)
        .flag({"--allow-bit-loss"}, o.allowBitLoss)
        .flag({"--progress"}, o.progress)
        .flag({"--resume"}, o.resume);
    const std::vector<std::string> positional = parser.parse(args);
    if (positional.empty()) throw UsageError("no output file");
    if (positional.size() > 2) throw UsageError("unexpected argument '" + positional[2] + "'");
    o.output = positional[0];
    if (positional.size() == 2) o.input = positional[1];

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

std::string Megabytes(uint64_t bytes) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << static_cast<double>(bytes) / 1e6 << " MB";
    return text.str();
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
    if (!note.empty()) Warn(context, "encode", note);
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

// Opens OUT to continue it, held against other writers, and checks it against the export.
ResumePoint CheckOutput(fileio::PlatformFile& file, const EncodeOptions& o, const Driver& driver,
                        const EncodeSettings& settings, VideoSource& video,
                        const FrameConverter& converter, AudioSource* audio) {
    if (!file.open(o.output.c_str(),
                   fileio::File::Read | fileio::File::Write | fileio::File::Existing))
        throw ResumeRefused("it cannot be opened for writing, or another program is writing it");
    return CheckResume(driver, settings, file, video, converter, audio);
}

}  // namespace

int RunEncode(Context& context) {
    std::ostream& err = context.err;
    EncodeOptions o;
    try {
        ParseOptions(context.args, o);
    } catch (const UsageError& e) {
        err << "iohost encode: " << e.what() << "\n";
        return kExitUsage;
    }
    std::vector<std::string> inputs;
    if (!o.input.empty()) inputs.push_back(o.input);
    if (o.audio) inputs.push_back(*o.audio);
    std::optional<OutputGuard> guard;
    // A file to continue is held from the check to the end; nothing else is created.
    std::error_code absent;
    const bool resuming = o.resume && std::filesystem::exists(Utf8Path(o.output), absent);
    fileio::PlatformFile resumed;
    std::optional<ResumePoint> point;
    try {
        if (!resuming) guard.emplace(o.output, o.overwrite, inputs);
    } catch (const OutputRefused& e) {
        err << "iohost encode: " << e.what() << "\n";
        return kExitFailure;
    }
    if (!Lower(o.output).ends_with(".avi"))
        Warn(context, "encode",
             "'" + o.output + "' does not end in .avi; it is an AVI file all the same");
    std::optional<PluginModule> module;
    if (!LoadPlugin(context, module)) return kExitFailure;
    StopRequest stop;
    const auto stopped = [&] {
        err << "iohost encode: stopped by " << StopRequest::name(StopRequest::signal())
            << " before the first frame\n";
        return kExitSignalBase + StopRequest::signal();
    };

    // Everything that can be refused is refused before the output exists.
    std::unique_ptr<VideoSource> whole, video;
    RangeSource* range = nullptr;
    std::unique_ptr<AudioSource> audio;
    uint64_t droppedSound = 0;
    CodecChoice choice;
    std::optional<FrameConverter> converter;
    Driver driver(*module);
    std::vector<ContainerInfo> containers;
    std::vector<CodecInfo> codecs;
    try {
        std::vector<std::string> notes;
        video = OpenVideo(o, notes);
        if (o.firstFrame) {
            whole = std::move(video);
            auto part = std::make_unique<RangeSource>(*whole, *o.firstFrame, o.frameLimit);
            range = part.get();
            video = std::move(part);
        } else if (o.frameLimit && !o.pattern) {
            video = std::make_unique<LimitedSource>(std::move(video), *o.frameLimit);
        }
        const PictureFormat& picture = video->format();
        if (std::string problem = FrameRateProblem({picture.rate, picture.scale}); !problem.empty())
            throw InputError(problem);

        if (driver.listCodecs(codecs) != errNone || driver.listContainers(containers) != errNone ||
            containers.empty())
            throw std::runtime_error("the plug-in does not list its codecs and container");
        choice = ChooseCodec(codecs, picture, o.codec.value_or(""), o.allowBitLoss);
        const CodecInfo& codec = *choice.codec;
        const auto layout =
            RawLayoutOf(codec.colorModel, codec.hSubsampling, codec.vSubsampling, codec.bitDepth);
        if (!layout) throw InputError("codec '" + codec.name + "' takes a raw layout unknown here");
        std::string why;
        converter = FrameConverter::make(picture, *layout, why);
        if (!converter) throw InputError(why + " ('" + codec.name + "')");
        if (picture.frameBytes() > 0xFFFFFFFFu || picture.width > 32767 || picture.height > 32767)
            throw InputError("frames of " + std::to_string(picture.width) + "x" +
                             std::to_string(picture.height) + " are too large for '" + codec.name +
                             "'");
        // Interlacing and range reach the encoder's settings and come back; the rest cannot.
        if (!notes.empty()) {
            std::string list;
            for (const std::string& note : notes) list += (list.empty() ? "" : ", ") + note;
            Warn(context, "encode",
                 "the input's " + list + " will not come back from the AVI file");
        }
        if (o.audio) {
            auto wav = std::make_unique<WavReader>(*o.audio, WavReader::ShortData::ReadToEnd);
            for (const std::string& note : wav->notes()) Warn(context, "encode", note);
            audio = std::move(wav);
        }
        if (o.tone) audio = std::make_unique<ToneSource>(48000, 2);
        if (range != nullptr && !range->skip())
            throw InputError("the input ends before frame " + std::to_string(*o.firstFrame));
        if (range != nullptr && audio) droppedSound = DropSound(*audio, picture, *o.firstFrame);
        if (StopRequest::signal() != 0) return stopped();
        if (resuming) {
            EncodeSettings part{.outPath = o.output,
                                .codec = *choice.codec,
                                .container = containers.front(),
                                .jobs = o.jobCount,
                                .firstFrame = o.firstFrame.value_or(0),
                                .firstAudioFrame = droppedSound};
            if (range != nullptr) part.audioTail = [range] { return range->reachedEnd(); };
            point = CheckOutput(resumed, o, driver, part, *video, *converter, audio.get());
        } else {
            guard->create();
        }
    } catch (const ResumeRefused& e) {
        err << "iohost encode: cannot resume '" << o.output << "': " << e.what()
            << "; left untouched\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        if (StopRequest::signal() != 0) return stopped();
        err << "iohost encode: " << e.what() << "\n";
        return kExitFailure;
    }

    const PictureFormat& picture = video->format();
    EncodeSettings settings{.outPath = resuming ? o.output : guard->writePath(),
                            .codec = *choice.codec,
                            .container = containers.front(),
                            .jobs = o.jobCount,
                            .stopRequested = [] { return StopRequest::signal() != 0; },
                            .firstFrame = o.firstFrame.value_or(0),
                            .firstAudioFrame = droppedSound};
    if (range != nullptr) settings.audioTail = [range] { return range->reachedEnd(); };
    EncodeSession session(driver, settings, *video, *converter, audio.get());
    ProgressMeter meter(err, !context.options.quiet && (o.progress || ErrIsTerminal(context)));
    std::mutex progressMutex;
    const std::function<void(const EncodeProgress&)> showProgress = [&](const EncodeProgress& p) {
        std::lock_guard lock(progressMutex);
        meter.update(p.frames, p.expected, p.seconds, p.rawBytes);
    };
    session.onProgress(showProgress);
    const EncodeResult result = resuming ? ContinueExport(driver, settings, resumed, *point, *video,
                                                          *converter, audio.get(), {}, showProgress)
                                         : session.run();
    meter.finish();
    const EncodeProgress& done = result.progress;

    const auto message = [](const std::exception_ptr& error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
    };
    std::string why;
    if (result.pluginError) {
        why = message(result.pluginError) + WriteFailureReason(guard->writePath());
    } else if (result.inputError) {
        why = "the input failed: " + message(result.inputError);
    } else if (result.stopped) {
        why = std::string("stopped by ") + StopRequest::name(StopRequest::signal());
    } else if (done.frames == settings.firstFrame) {
        why = "the input holds no frames";
    }
    if (range != nullptr && done.frames > settings.firstFrame) {
        try {
            const PartRange held{settings.firstFrame, done.frames - settings.firstFrame,
                                 why.empty() && range->reachedEnd()};
            if (resuming)
                WritePartRange(resumed, scanAvi(resumed), held);
            else
                RecordPart(guard->writePath(), held);
        } catch (const std::exception& e) {
            if (why.empty()) why = e.what();
        }
    }
    if (audio != nullptr) {
        const std::string longer = AudioLengthNote(done.audioFrames, audio->format().sampleRate,
                                                   done.frames, picture.rate, picture.scale);
        if (!longer.empty()) Warn(context, "encode", longer);
    }
    if (result.pluginError && !resuming && done.frames > settings.firstFrame)
        KeepWholeFramesOnly(context, guard->writePath());
    const int status = result.stopped ? kExitSignalBase + StopRequest::signal()
                       : why.empty()  ? kExitOk
                                      : kExitFailure;
    if (resuming) {
        resumed.close();
        if (!context.options.quiet) {
            err << "Resumed after frame " << point->frames << " of '" << o.output << "'\n";
            PrintSummary(context, o, picture, choice, audio.get(), done);
        }
        if (!why.empty())
            err << "iohost encode: " << why << "; '" << o.output << "' holds " << done.frames
                << " frames, " << (FileIsConsistent(o.output) ? "closed" : "not closed")
                << ": --resume continues it\n";
        return status;
    }
    if (done.frames == settings.firstFrame) {
        const bool removed = guard->discardIfCreated();
        err << "iohost encode: " << why;
        if (guard->replaces())
            err << "; '" << o.output << "' was left as it was";
        else if (removed)
            err << "; no frame was written, '" << o.output << "' removed";
        err << "\n";
        return status;
    }
    if (!context.options.quiet) PrintSummary(context, o, picture, choice, audio.get(), done);
    if (why.empty()) {
        try {
            guard->commit();
        } catch (const OutputRefused& e) {
            err << "iohost encode: " << e.what() << "\n";
            return kExitFailure;
        }
        return status;
    }
    // A cut-short export never replaces a complete file: it stays beside it.
    std::ostringstream kept;
    kept << std::fixed << std::setprecision(2) << "iohost encode: " << why << "\n"
         << "iohost encode: kept '" << guard->writePath() << "': " << done.frames << " frames ("
         << VideoSeconds(done.frames, picture) << " s) written before that, "
         << (FileIsConsistent(guard->writePath())
                 ? "file closed and consistent\n"
                 : "but its closing could not be written (see iohost inspect)\n");
    if (guard->replaces()) kept << "iohost encode: '" << o.output << "' was left as it was\n";
    err << kept.str();
    return status;
}

}  // namespace iohost::cli
