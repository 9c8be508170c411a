#include <memory>
#include <optional>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/cli/cli.h"
#include "platform/iohost/cli/option_parser.h"
#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/media/raw_video_reader.h"
#include "platform/iohost/media/wav_writer.h"
#include "platform/iohost/media/y4m_reader.h"
#include "platform/iohost/media/y4m_writer.h"
#include "platform/iohost/picture/avi_video_decoder.h"
#include "platform/iohost/picture/frame_comparer.h"

namespace iohost::cli {

namespace {

struct DecodeOptions {
    std::string input;
    std::optional<std::string> output, verify, pix, audioOut;
    bool overwrite = false;
};

void ParseOptions(const std::vector<std::string>& args, DecodeOptions& o) {
    OptionParser parser;
    parser.value({"-o", "--output"}, o.output)
        .value({"--verify"}, o.verify)
        .value({"--pix"}, o.pix)
        .value({"--audio-out"}, o.audioOut)
        .flag({"-y", "--overwrite"}, o.overwrite);
    const std::vector<std::string> positional = parser.parse(args);
    if (positional.empty()) throw UsageError("no input file");
    if (positional.size() > 1) throw UsageError("unexpected argument '" + positional[1] + "'");
    o.input = positional[0];
    if (!o.output && !o.verify && !o.audioOut)
        throw UsageError("nothing to do: give -o, --verify or --audio-out");
    if (o.audioOut && *o.audioOut == "-")
        throw UsageError("--audio-out needs a file: a WAV header is finished at its start");
    if (o.output && o.audioOut && SameDestination(*o.output, *o.audioOut))
        throw UsageError("-o and --audio-out name the same file");
}

// The layout decoded frames are written in: the decoder's own, except that 10 and 12-bit RGB go
// out as ffmpeg's planar gbrp10le/gbrp12le (gbrap for RGBA), and --pix names another RGB layout
// when it holds the file's bits (else it names only that of a raw --verify source).
PictureFormat OutputLayout(const AviVideoDecoder& decoder, const DecodeOptions& o,
                           const Context& context) {
    PictureFormat format = decoder.format();
    if (!format.isRgb()) return format;
    const uint32_t bits = decoder.significantBits();
    if (bits == 10 || bits == 12) {
        format.packing = format.hasAlpha() ? Packing::Gbra : Packing::Gbr;
        format.bitDepth = bits;
    }
    PictureFormat wanted = format;
    if (!o.pix || !ParsePixelFormat(*o.pix, wanted)) return format;
    if (wanted.isRgb() && wanted.hasAlpha() == format.hasAlpha() && wanted.bitDepth >= bits)
        return wanted;
    if (o.output)
        Warn(context, "decode",
             "the video goes out as " + format.pixelFormatName() + ": " + *o.pix +
                 " cannot hold the file's " + std::to_string(bits) + " bits");
    return format;
}

// The source of --verify, opened once: its first bytes say whether it is YUV4MPEG2, so a pipe
// works too.
std::unique_ptr<VideoSource> OpenVerifySource(const DecodeOptions& o,
                                              const PictureFormat& decoded) {
    auto file = std::make_unique<InputFile>(*o.verify);
    if (file->peek(9) == "YUV4MPEG2") return std::make_unique<Y4mReader>(std::move(file));
    PictureFormat format = decoded;
    if (o.pix && !ParsePixelFormat(*o.pix, format))
        throw InputError("unknown pixel format '" + *o.pix + "'");
    return std::make_unique<RawVideoReader>(std::move(file), format);
}

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

}  // namespace

int RunDecode(Context& context) {
    std::ostream& err = context.err;
    DecodeOptions o;
    try {
        ParseOptions(context.args, o);
    } catch (const UsageError& e) {
        err << "iohost decode: " << e.what() << "\n";
        return kExitUsage;
    }
    std::vector<std::string> inputs{o.input};
    if (o.verify) inputs.push_back(*o.verify);
    std::optional<OutputGuard> video, wav;
    try {
        if (o.output) video.emplace(*o.output, o.overwrite, inputs);
        if (o.audioOut) wav.emplace(*o.audioOut, o.overwrite, inputs);
    } catch (const OutputRefused& e) {
        err << "iohost decode: " << e.what() << "\n";
        return kExitFailure;
    }
    try {
        AviVideoDecoder decoder(o.input);
        const int audioStream = AudioStream(decoder.file());
        if (wav && audioStream < 0) throw InputError("'" + o.input + "' has no audio stream");
        const PictureFormat& decoded = decoder.format();
        const PictureFormat format = OutputLayout(decoder, o, context);
        std::unique_ptr<VideoSource> source;
        std::optional<FrameComparer> comparer;
        if (o.verify) {
            source = OpenVerifySource(o, format);
            std::string why;
            comparer =
                FrameComparer::make(source->format(), format, decoder.significantBits(), why);
            if (!comparer) {
                err << "iohost decode: verify failed: " << why << "\n";
                return kExitFailure;
            }
        }

        std::unique_ptr<VideoWriter> writer;
        if (video)
            writer = std::make_unique<VideoWriter>(video->open(), video->path(), format,
                                                   !format.isRgb());
        std::vector<uint8_t> frame(static_cast<size_t>(decoded.frameBytes()));
        std::vector<uint8_t> repacked(static_cast<size_t>(format.frameBytes()));
        std::vector<uint8_t> original(source ? static_cast<size_t>(source->format().frameBytes())
                                             : 0);
        const bool repack =
            format.packing != decoded.packing || format.bitDepth != decoded.bitDepth;
        std::string mismatch;
        for (size_t i = 0; i < decoder.frameCount(); ++i) {
            decoder.decode(i, frame.data());
            if (repack) Repack(decoded, frame.data(), format, repacked.data());
            const uint8_t* out = repack ? repacked.data() : frame.data();
            if (writer) writer->write(out);
            if (source && mismatch.empty()) {
                if (!source->read(original.data())) {
                    mismatch = "the source ends after " + std::to_string(i) +
                               " frames, the file has " + std::to_string(decoder.frameCount());
                } else if (std::string d = comparer->compare(original.data(), out); !d.empty()) {
                    mismatch = "frame " + std::to_string(i) + " differs: " + d;
                }
            }
        }
        if (source && mismatch.empty() && source->read(original.data()))
            mismatch = "the source has more frames than the file (" +
                       std::to_string(decoder.frameCount()) + ")";
        if (writer) writer->close();
        if (video) video->commit();
        if (!context.options.quiet) {
            err << "Decoded " << decoder.frameCount() << " frames of " << format.describe() << " ("
                << decoder.codecTag() << ", " << decoder.significantBits() << " bits)";
            if (video)
                err << " to " << (video->isStandardOutput() ? "standard output" : video->path());
            err << "\n";
        }
        if (wav) {
            ExtractAudio(decoder, audioStream, o.input, *wav, err, context.options.quiet);
            wav->commit();
        }
        if (source) {
            if (!mismatch.empty()) {
                err << "iohost decode: verify failed: " << mismatch << "\n";
                return kExitFailure;
            }
            if (!context.options.quiet)
                err << "Verified: all " << decoder.frameCount()
                    << " frames equal the source, every " << source->format().bitDepth
                    << "-bit sample\n";
        }
        return kExitOk;
    } catch (const std::exception& e) {
        // Only what this run created goes; an output it was allowed to replace stays as it is.
        if (video) video->discardIfCreated();
        if (wav) wav->discardIfCreated();
        err << "iohost decode: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
