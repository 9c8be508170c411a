#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/avi_video_decoder.h"
#include "platform/iohost/cli.h"
#include "platform/iohost/frame_comparer.h"
#include "platform/iohost/input_error.h"
#include "platform/iohost/output_file.h"
#include "platform/iohost/raw_video_reader.h"
#include "platform/iohost/wav_writer.h"
#include "platform/iohost/y4m_reader.h"
#include "platform/iohost/y4m_writer.h"

namespace iohost::cli {

namespace {

struct DecodeOptions {
    std::string input;
    std::string output;
    std::string verify;
    std::string pix;
    std::string audioOut;
};

std::string ParseOptions(const std::vector<std::string>& args, DecodeOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string* target = nullptr;
        if (arg == "-o" || arg == "--output") target = &o.output;
        if (arg == "--verify") target = &o.verify;
        if (arg == "--pix") target = &o.pix;
        if (arg == "--audio-out") target = &o.audioOut;
        if (target != nullptr) {
            if (i + 1 >= args.size()) return arg + " needs a value";
            *target = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (o.input.empty()) {
            o.input = arg;
        } else {
            return "unexpected argument '" + arg + "'";
        }
    }
    if (o.input.empty()) return "no input file";
    if (o.output.empty() && o.verify.empty() && o.audioOut.empty())
        return "nothing to do: give -o, --verify or --audio-out";
    return {};
}

bool IsY4m(const std::string& path) {
    std::ifstream file(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())),
                       std::ios::binary);
    char head[9] = {};
    file.read(head, 9);
    return file.gcount() == 9 && std::string(head, 9) == "YUV4MPEG2";
}

std::unique_ptr<VideoSource> OpenVerifySource(const DecodeOptions& o,
                                              const PictureFormat& decoded) {
    if (o.verify == "-" || IsY4m(o.verify)) return std::make_unique<Y4mReader>(o.verify);
    PictureFormat format = decoded;
    if (!o.pix.empty() && !ParsePixelFormat(o.pix, format))
        throw InputError("unknown pixel format '" + o.pix + "'");
    return std::make_unique<RawVideoReader>(o.verify, format);
}

void ExtractAudio(const AviVideoDecoder& decoder, const std::string& aviPath,
                  const std::string& wavPath, std::ostream& out) {
    const avireader::AviFile& file = decoder.file();
    for (size_t i = 0; i < file.streams.size(); ++i) {
        const auto& s = file.streams[i];
        if (!s.header || s.header->type != avireader::fourcc("auds") || !s.audio) continue;
        AudioFormat format;
        format.sampleRate = s.audio->samplesPerSec;
        format.channels = s.audio->channels;
        format.bitsPerSample = s.audio->bitsPerSample;
        format.isFloat =
            s.audio->formatTag == 3 || (s.audio->extensible && s.audio->subFormat[0] == 3);
        format.channelMask = s.audio->channelMask;
        std::vector<uint8_t> samples, payload;
        avireader::PayloadReader reader(aviPath);
        for (const auto& chunk : avireader::chunksOfStream(file, static_cast<int>(i))) {
            if (!reader.read(chunk, payload))
                throw InputError("the file ends inside an audio chunk");
            samples.insert(samples.end(), payload.begin(), payload.end());
        }
        WriteWav(wavPath, format, samples);
        out << "Audio:  " << samples.size() / std::max(1u, format.blockAlign())
            << " sample frames to " << wavPath << "\n";
        return;
    }
    throw InputError("'" + aviPath + "' has no audio stream");
}

}  // namespace

int RunDecode(Context& context) {
    std::ostream& out = context.out;
    std::ostream& err = context.err;
    DecodeOptions o;
    if (std::string problem = ParseOptions(context.args, o); !problem.empty()) {
        err << "iohost decode: " << problem << "\n";
        return kExitUsage;
    }
    bool wroteVideo = false;
    try {
        AviVideoDecoder decoder(o.input);
        const PictureFormat& format = decoder.format();
        std::unique_ptr<VideoWriter> writer;
        if (!o.output.empty()) {
            const bool y4m = format.packing == Packing::Planar;
            writer = std::make_unique<VideoWriter>(o.output, format, y4m);
            wroteVideo = true;
        }
        std::unique_ptr<VideoSource> source;
        std::optional<FrameComparer> comparer;
        if (!o.verify.empty()) {
            source = OpenVerifySource(o, format);
            std::string why;
            comparer =
                FrameComparer::make(source->format(), format, decoder.significantBits(), why);
            if (!comparer) throw InputError("cannot verify against '" + o.verify + "': " + why);
        }
        std::vector<uint8_t> frame(static_cast<size_t>(format.frameBytes()));
        std::vector<uint8_t> original(source ? static_cast<size_t>(source->format().frameBytes())
                                             : 0);
        std::string mismatch;
        for (size_t i = 0; i < decoder.frameCount(); ++i) {
            decoder.decode(i, frame.data());
            if (writer) writer->write(frame.data());
            if (source && mismatch.empty()) {
                if (!source->read(original.data())) {
                    mismatch = "the source ends after " + std::to_string(i) +
                               " frames, the file has " + std::to_string(decoder.frameCount());
                } else if (std::string d = comparer->compare(original.data(), frame.data());
                           !d.empty()) {
                    mismatch = "frame " + std::to_string(i) + " differs: " + d;
                }
            }
        }
        if (source && mismatch.empty() && source->read(original.data()))
            mismatch = "the source has more frames than the file (" +
                       std::to_string(decoder.frameCount()) + ")";
        if (writer) writer->close();
        out << "Decoded " << decoder.frameCount() << " frames of " << format.describe() << " ("
            << decoder.codecTag() << ", " << decoder.significantBits() << " bits)";
        if (!o.output.empty()) out << " to " << o.output;
        out << "\n";
        if (!o.audioOut.empty()) ExtractAudio(decoder, o.input, o.audioOut, out);
        if (source) {
            if (!mismatch.empty()) {
                err << "iohost decode: verify failed: " << mismatch << "\n";
                return kExitFailure;
            }
            out << "Verified: all " << decoder.frameCount() << " frames equal the source (top "
                << std::min(decoder.significantBits(), source->format().bitDepth) << " bits)\n";
        }
        return kExitOk;
    } catch (const std::exception& e) {
        if (wroteVideo) RemoveFile(o.output);
        err << "iohost decode: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
