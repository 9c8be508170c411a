#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/cli/cli.h"
#include "platform/iohost/cli/option_parser.h"
#include "platform/iohost/cli/progress_line.h"
#include "platform/iohost/decoding/decode_pipeline.h"
#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/files/stop_request.h"
#include "platform/iohost/media/raw_video_reader.h"
#include "platform/iohost/media/wav_writer.h"
#include "platform/iohost/media/y4m_reader.h"
#include "platform/iohost/media/y4m_writer.h"
#include "platform/iohost/picture/avi_video_decoder.h"
#include "platform/iohost/picture/frame_comparer.h"
#include "platform/iohost/session/blocking_queue.h"

namespace iohost::cli {

namespace {

struct DecodeOptions {
    std::string input;
    std::optional<std::string> output, verify, pix, size, audioOut, jobs;
    bool overwrite = false, allowBitLoss = false, progress = false;
    unsigned jobCount = 1;
};

constexpr Option<DecodeOptions> kOptions[] = {
    {"-o, --output", "OUT",
     "decoded video, '-' for standard output: YUV4MPEG2 for YUV, raw\n"
     "frames for RGB (gbrp10le/gbrp12le for 10/12-bit RGB, rgb48le for 14-bit)",
     &DecodeOptions::output},
    {"--pix", "PIXFMT",
     "write exactly this layout: the file's colour model, chroma and alpha,\n"
     "at its depth or more (yuv422p10le, gbrp12le, rgb48le, ...); anything else is\n"
     "refused before a frame is written. Also the layout of a raw SOURCE",
     &DecodeOptions::pix},
    {"--allow-bit-loss",
     "accept a --pix layout with fewer bits than the file keeps (the\ntop bits are kept)",
     &DecodeOptions::allowBitLoss},
    {"--verify", "SOURCE",
     "compare every frame with a YUV4MPEG2 or raw source ('-' for standard\n"
     "input), every stored bit of it; exits 1 at the first difference",
     &DecodeOptions::verify},
    {"--size", "WxH", "frame size of a raw SOURCE (default: the file's frame size)",
     &DecodeOptions::size},
    {"--audio-out", "FILE.wav", "extract the first audio track to a WAV file",
     &DecodeOptions::audioOut},
    {"--jobs", "N", "decode N frames at once on N threads (default 1)", &DecodeOptions::jobs},
    {"-y, --overwrite", "replace outputs that exist, once the run succeeds",
     &DecodeOptions::overwrite},
    {"--progress", "show the progress line even when standard error is not a terminal",
     &DecodeOptions::progress},
};

DecodeOptions ParseOptions(const std::vector<std::string>& args) {
    DecodeOptions o;
    const std::vector<std::string> positional = ParseArguments(kOptions, args, o);
    CheckPositionals(positional, 1, "input file");
    o.input = positional[0];
    if (!o.output && !o.verify && !o.audioOut)
        throw UsageError("nothing to do: give -o, --verify or --audio-out");
    if (o.audioOut && *o.audioOut == "-")
        throw UsageError("--audio-out needs a file: a WAV header is finished at its start");
    if (o.output && o.audioOut && SameDestination(*o.output, *o.audioOut))
        throw UsageError("-o and --audio-out name the same file");
    if (o.size && !o.verify) throw UsageError("--size applies to a raw --verify SOURCE");
    if (o.jobs) {
        unsigned n = 0;
        const char* end = o.jobs->data() + o.jobs->size();
        const auto [ptr, ec] = std::from_chars(o.jobs->data(), end, n);
        if (ec != std::errc() || ptr != end || n == 0 || n > 64)
            throw UsageError("bad --jobs '" + *o.jobs + "' (1-64)");
        o.jobCount = n;
    }
    return o;
}

// The layout frames go out in. Without --pix: the decoder's own, except that 10 and 12-bit RGB go
// out as ffmpeg's planar gbrp10le/gbrp12le (gbrap for RGBA). --pix names exactly the layout
// written, or is refused here: another colour model, chroma subsampling or alpha is never
// converted, and fewer bits than the file keeps needs --allow-bit-loss.
PictureFormat OutputLayout(const AviVideoDecoder& decoder, const DecodeOptions& o,
                           uint32_t& droppedBits) {
    PictureFormat format = decoder.format();
    const uint32_t bits = decoder.significantBits();
    droppedBits = 0;
    if (!o.pix) {
        if (format.isRgb() && (bits == 10 || bits == 12)) {
            format.packing = format.hasAlpha() ? Packing::Gbra : Packing::Gbr;
            format.bitDepth = bits;
        }
        return format;
    }
    PictureFormat wanted = format;
    const std::string& pix = *o.pix;
    if (!ParsePixelFormat(pix, wanted))
        throw InputError("--pix " + pix +
                         " is not a layout decode writes: planar YUV (yuv422p, yuv420p10le, gray, "
                         "...) and RGB (rgb24, rgba, rgb48le, gbrp10le, gbrap12le, ...)");
    const std::string file = "the file holds " + format.pixelFormatName() + " pictures";
    if (wanted.isRgb() != format.isRgb())
        throw InputError("--pix " + pix + ": " + file + "; a conversion between YUV and RGB is " +
                         "not exact, so decode does not make one");
    if (wanted.isRgb() && wanted.hasAlpha() != format.hasAlpha())
        throw InputError("--pix " + pix + ": " + file +
                         (format.hasAlpha() ? "; it would drop" : "; it would invent") +
                         " an alpha channel");
    if (!wanted.isRgb() && wanted.chroma != format.chroma)
        throw InputError("--pix " + pix + ": " + file + "; it would " +
                         (wanted.chroma == Chroma::Mono   ? "drop"
                          : format.chroma == Chroma::Mono ? "invent"
                                                          : "resample") +
                         " the chroma planes");
    if (wanted.bitDepth < bits) {
        if (!o.allowBitLoss)
            throw InputError("--pix " + pix + " keeps " + std::to_string(wanted.bitDepth) +
                             " of the file's " + std::to_string(bits) +
                             " bits per sample (--allow-bit-loss keeps the top ones)");
        droppedBits = bits - wanted.bitDepth;
    }
    return wanted;
}

// The source of --verify, opened once: its first bytes say whether it is YUV4MPEG2, so a pipe
// works too. Its samples are taken as they are stored, so that one above its depth differs.
std::unique_ptr<VideoSource> OpenVerifySource(const DecodeOptions& o, const PictureFormat& file) {
    auto input = std::make_unique<InputFile>(*o.verify);
    if (input->peek(9) == "YUV4MPEG2") {
        auto reader = std::make_unique<Y4mReader>(std::move(input));
        reader->acceptSamplesAboveDepth();
        return reader;
    }
    if (!o.pix)
        throw InputError(
            "'" + *o.verify +
            "' is not YUV4MPEG2; raw frames need --pix (and --size when they are not " +
            std::to_string(file.width) + "x" + std::to_string(file.height) + "), as for encode");
    PictureFormat format = file;
    if (!ParsePixelFormat(*o.pix, format))
        throw InputError("unknown pixel format '" + *o.pix + "'");
    if (o.size) {
        const size_t x = o.size->find('x');
        uint32_t w = 0, h = 0;
        const char* s = o.size->data();
        const char* end = s + o.size->size();
        if (x == std::string::npos || std::from_chars(s, s + x, w).ptr != s + x ||
            std::from_chars(s + x + 1, end, h).ptr != end || w == 0 || h == 0)
            throw InputError("bad --size '" + *o.size + "' (use WxH)");
        format.width = w;
        format.height = h;
    }
    auto reader = std::make_unique<RawVideoReader>(std::move(input), format);
    reader->acceptSamplesAboveDepth();
    return reader;
}

// Compares the decoded frames with the source on a thread of its own, beside the decoding.
class BackgroundVerify {
public:
    BackgroundVerify(VideoSource& source, const FrameComparer& comparer, uint64_t fileFrames)
        : m_source(source), m_comparer(comparer), m_fileFrames(fileFrames) {
        m_thread = std::thread([this] { run(); });
    }
    ~BackgroundVerify() {
        m_frames.close();
        if (m_thread.joinable()) m_thread.join();
    }
    BackgroundVerify(const BackgroundVerify&) = delete;
    BackgroundVerify& operator=(const BackgroundVerify&) = delete;

    void push(std::vector<uint8_t> frame) {
        ++m_lent;
        (void)m_frames.push(std::move(frame));
    }

    // A frame buffer the comparison is done with, for the decoding threads: a fresh one costs
    // its page faults, about as much as decoding a frame on some machines. While fewer than
    // kLentAhead frames wait for the comparison, an empty one rather than waiting; beyond that
    // the caller waits for the comparison, which is then the slower side anyway.
    std::vector<uint8_t> recycled() {
        std::optional<std::vector<uint8_t>> buffer =
            m_lent < kLentAhead ? m_compared.tryPop() : m_compared.pop();
        if (!buffer) return {};
        --m_lent;
        return std::move(*buffer);
    }

    // Waits for the frames pushed; the first difference, or empty. `whole`: every frame of the
    // file was pushed, so a longer source differs too.
    std::string finish(bool whole) {
        m_frames.close();
        m_thread.join();
        if (whole && m_mismatch.empty()) {
            try {
                // The thread is done with its frame buffer: a fresh one would cost its page faults.
                if (m_source.read(m_original.data()))
                    m_mismatch = "the source has more frames than the file (" +
                                 std::to_string(m_fileFrames) + ")";
            } catch (const std::exception& e) {
                m_mismatch = e.what();
            }
        }
        return m_mismatch;
    }

private:
    void run() {
        LeaveStopSignalsToOtherThreads();
        m_original.resize(static_cast<size_t>(m_source.format().frameBytes()));
        for (uint64_t i = 0;; ++i) {
            std::optional<std::vector<uint8_t>> frame = m_frames.pop();
            if (!frame) return;
            compare(i, *frame);
            // Never full: it holds no more buffers than are lent, at most kLentAhead.
            (void)m_compared.tryPush(std::move(*frame));
        }
    }

    // The source's next frame against the decoded one; the first difference is kept.
    void compare(uint64_t i, const std::vector<uint8_t>& frame) {
        if (!m_mismatch.empty()) return;
        try {
            FrameComparer::Pass pass(m_comparer, m_original.data(), frame.data());
            if (!m_source.readInPieces(m_original.data(), [&pass](size_t begin, size_t end) {
                    pass.arrived(begin, end);
                })) {
                m_mismatch = "the source ends after " + std::to_string(i) +
                             " frames, the file has " + std::to_string(m_fileFrames);
            } else if (std::string d = pass.result(); !d.empty()) {
                m_mismatch = "frame " + std::to_string(i) + " differs: " + d;
            }
        } catch (const std::exception& e) {
            m_mismatch = e.what();
        }
    }

    VideoSource& m_source;
    const FrameComparer& m_comparer;
    uint64_t m_fileFrames;
    static constexpr unsigned kLentAhead = 2;
    BlockingQueue<std::vector<uint8_t>> m_frames{2};
    BlockingQueue<std::vector<uint8_t>> m_compared{kLentAhead + 1};
    unsigned m_lent = 0;  // buffers pushed and not handed back; the caller's thread only
    std::vector<uint8_t> m_original;  // the source's frame; the thread's until it ends
    std::string m_mismatch;           // written by the thread, read after it ends
    std::thread m_thread;
};

int AudioStream(const avireader::AviFile& file) {
    for (size_t i = 0; i < file.streams.size(); ++i) {
        const auto& s = file.streams[i];
        if (s.header && s.header->type == avireader::fourcc("auds") && s.audio)
            return static_cast<int>(i);
    }
    return -1;
}

void ExtractAudio(const AviVideoDecoder& decoder, int stream, const std::string& aviPath,
                  OutputGuard& wav, std::ostream& err, bool quiet) {
    const auto& s = decoder.file().streams[static_cast<size_t>(stream)];
    AudioFormat format;
    format.sampleRate = s.audio->samplesPerSec;
    format.channels = s.audio->channels;
    format.bitsPerSample = s.audio->bitsPerSample;
    format.isFloat = s.audio->formatTag == 3 || (s.audio->extensible && s.audio->subFormat[0] == 3);
    format.channelMask = s.audio->channelMask;
    std::vector<uint8_t> samples, payload;
    avireader::PayloadReader reader(aviPath);
    for (const auto& chunk : avireader::chunksOfStream(decoder.file(), stream)) {
        if (!reader.read(chunk, payload)) throw InputError("the file ends inside an audio chunk");
        samples.insert(samples.end(), payload.begin(), payload.end());
    }
    WriteWav(wav.open(), wav.path(), format, samples);
    if (!quiet)
        err << "Audio:  " << samples.size() / std::max(1u, format.blockAlign())
            << " sample frames to " << wav.path() << "\n";
}

// How the frames ended: all of them, a frame that does not decode, or a stop request.
struct Outcome {
    uint64_t frames = 0;
    std::string failure;  // the frame that does not decode, and why
    int signal = 0;
};

// Decodes every frame in order, writes it and hands it to the comparison, until the last frame,
// one that does not decode, or a stop request; the output is left whole at a frame boundary.
Outcome DecodeFrames(AviVideoDecoder& decoder, const PictureFormat& format, unsigned jobs,
                     VideoWriter* writer, BackgroundVerify* verify, ProgressMeter& progress) {
    Outcome outcome;
    const auto started = std::chrono::steady_clock::now();
    DecodePipeline pipeline(decoder, jobs, format);
    std::vector<uint8_t> frame;
    for (;;) {
        if ((outcome.signal = StopRequest::signal()) != 0) break;
        try {
            if (!pipeline.next(frame)) break;
        } catch (const InputError& e) {
            outcome.failure = e.what();
            break;
        }
        if (writer) writer->write(frame.data());
        if (verify) {
            verify->push(std::move(frame));
            frame = verify->recycled();
        }
        ++outcome.frames;
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
        progress.update(outcome.frames, decoder.frameCount(), seconds.count(),
                        outcome.frames * format.frameBytes());
    }
    progress.finish();
    return outcome;
}

// The --verify source and its comparison with the decoded frames.
struct Verification {
    std::unique_ptr<VideoSource> source;
    std::optional<FrameComparer> comparer;
};

Verification OpenVerification(const DecodeOptions& o, const AviVideoDecoder& decoder,
                              const PictureFormat& format, uint32_t droppedBits) {
    if (droppedBits > 0)
        throw InputError("--verify compares every bit; --pix " + *o.pix + " drops " +
                         std::to_string(droppedBits));
    Verification v{OpenVerifySource(o, format), std::nullopt};
    std::string why;
    v.comparer = FrameComparer::make(v.source->format(), format, decoder.significantBits(), why);
    if (!v.comparer) throw InputError("verify failed: " + why);
    return v;
}

// Commits a whole video output; answers where its frames are, for the messages.
std::string FinishVideo(OutputGuard* video, bool whole) {
    if (video == nullptr) return "";
    std::string where = video->isStandardOutput() ? "standard output" : "'" + video->path() + "'";
    // Only a whole output replaces an old file; a part stays beside it.
    if (whole) video->commit();
    if (!whole && video->replaces())
        where = "'" + video->writePath() + "' (" + where + " was left as it was)";
    return where;
}

void PrintDecoded(std::ostream& err, const AviVideoDecoder& decoder, const PictureFormat& format,
                  uint64_t frames, const std::string& where, uint32_t droppedBits) {
    err << "Decoded " << frames << " of " << decoder.frameCount() << " frames of "
        << format.describe() << " (" << decoder.codecTag() << ", " << decoder.significantBits()
        << " bits)";
    if (!where.empty()) err << " to " << where;
    err << "\n";
    if (droppedBits > 0)
        err << "Lossy:  " << droppedBits << " of the file's " << decoder.significantBits()
            << " bits per sample dropped (--allow-bit-loss)\n";
}

// After the frames: the stop, the audio, the frame that does not decode and the comparison, in
// that order.
int Conclude(const Context& context, const DecodeOptions& o, const AviVideoDecoder& decoder,
             const Outcome& outcome, const std::string& where, const std::string& mismatch,
             OutputGuard* wav, const VideoSource* source) {
    if (!mismatch.empty()) context.error() << "verify failed: " << mismatch << "\n";
    if (outcome.signal != 0) {
        context.error() << "stopped by " << StopRequest::name(outcome.signal) << " after "
                        << outcome.frames << " frames"
                        << (where.empty() ? "" : "; " + where + " holds them, finished") << "\n";
        return kExitSignalBase + outcome.signal;
    }
    if (wav) {
        ExtractAudio(decoder, AudioStream(decoder.file()), o.input, *wav, context.err,
                     context.options.quiet);
        wav->commit();
    }
    if (!outcome.failure.empty()) {
        context.error() << outcome.failure;
        if (!where.empty())
            context.err << "; " << where << " holds the " << outcome.frames << " frames before it";
        context.err << "\n";
    }
    if (!outcome.failure.empty() || !mismatch.empty()) return kExitFailure;
    if (source && !context.options.quiet)
        context.err << "Verified: all " << decoder.frameCount()
                    << " frames equal the source, every " << source->format().bitDepth
                    << "-bit sample\n";
    return kExitOk;
}

// Decodes into the outputs; `videoFinished` once the video output holds whole frames only, to be
// kept whatever fails after.
int Decode(const Context& context, const DecodeOptions& o, OutputGuard* video, OutputGuard* wav,
           bool& videoFinished) {
    AviVideoDecoder decoder(o.input, o.jobCount);
    if (wav && AudioStream(decoder.file()) < 0)
        throw InputError("'" + o.input + "' has no audio stream");
    uint32_t droppedBits = 0;
    const PictureFormat format = OutputLayout(decoder, o, droppedBits);
    Verification verification;
    if (o.verify) verification = OpenVerification(o, decoder, format, droppedBits);

    std::unique_ptr<VideoWriter> writer;
    if (video)
        writer =
            std::make_unique<VideoWriter>(video->open(), video->path(), format, !format.isRgb());
    std::optional<BackgroundVerify> verify;
    if (verification.source)
        verify.emplace(*verification.source, *verification.comparer, decoder.frameCount());
    const bool quiet = context.options.quiet;
    ProgressMeter progress(context.err, !quiet && (o.progress || ErrIsTerminal(context)));
    const Outcome outcome = DecodeFrames(decoder, format, o.jobCount, writer.get(),
                                         verify ? &*verify : nullptr, progress);
    const bool whole = outcome.failure.empty() && outcome.signal == 0;
    if (writer) writer->close();
    const std::string mismatch = verify ? verify->finish(whole) : "";
    const std::string where = FinishVideo(video, whole);
    videoFinished = true;
    if (!quiet) PrintDecoded(context.err, decoder, format, outcome.frames, where, droppedBits);
    return Conclude(context, o, decoder, outcome, where, mismatch, wav, verification.source.get());
}

int RunDecode(Context& context) {
    const DecodeOptions o = ParseOptions(context.args);
    std::vector<std::string> inputs{o.input};
    if (o.verify) inputs.push_back(*o.verify);
    std::optional<OutputGuard> video, wav;
    if (o.output) video.emplace(*o.output, o.overwrite, inputs);
    if (o.audioOut) wav.emplace(*o.audioOut, o.overwrite, inputs);
    StopRequest stop;
    bool videoFinished = false;
    try {
        return Decode(context, o, video ? &*video : nullptr, wav ? &*wav : nullptr, videoFinished);
    } catch (const std::exception& e) {
        // Only what this run created goes; an output it was allowed to replace stays as it is.
        if (video && !videoFinished) video->discardIfCreated();
        if (wav) wav->discardIfCreated();
        context.error() << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace

constexpr Command kDecode{
    "decode",
    "FILE.avi [-o OUT|-]",
    "decode the video (and audio) of an AVI file",
    &RunDecode,
    &HelpRows<kOptions>,
    "A frame that does not decode ends the run: the frames before it are written and the\n"
    "output finished, and the frame is named (exit 1). Ctrl-C, SIGTERM or SIGHUP stop it the\n"
    "same way at a frame boundary (exit 128 + the signal).\n"};

}  // namespace iohost::cli
