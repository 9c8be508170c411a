#include <charconv>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <memory>
#include <optional>
#include <sstream>

#include "platform/iohost/cli.h"
#include "platform/iohost/codec_choice.h"
#include "platform/iohost/driver.h"
#include "platform/iohost/encode_session.h"
#include "platform/iohost/input_error.h"
#include "platform/iohost/raw_video_reader.h"
#include "platform/iohost/test_pattern.h"
#include "platform/iohost/tone_source.h"
#include "platform/iohost/wav_reader.h"
#include "platform/iohost/y4m_reader.h"

namespace iohost::cli {

namespace {

struct EncodeOptions {
    std::string output;
    std::string input;  // empty: the test pattern
    std::string codec;
    std::string pix;
    std::string format = "yuv422p";
    std::optional<std::pair<uint32_t, uint32_t>> size;
    std::optional<std::pair<uint32_t, uint32_t>> rate;
    std::optional<uint64_t> frames;
    std::string audio;
    bool noAudio = false;
    unsigned jobs = 1;
    bool quiet = false;
};

bool ParseNumber(const std::string& text, uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParsePair(const std::string& text, char separator, std::pair<uint32_t, uint32_t>& out,
               bool secondOptional) {
    const size_t at = text.find(separator);
    uint64_t a = 0, b = 1;
    if (at == std::string::npos) {
        if (!secondOptional || !ParseNumber(text, a)) return false;
    } else if (!ParseNumber(text.substr(0, at), a) || !ParseNumber(text.substr(at + 1), b)) {
        return false;
    }
    if (a == 0 || b == 0 || a > 0x7FFFFFFF || b > 0x7FFFFFFF) return false;
    out = {static_cast<uint32_t>(a), static_cast<uint32_t>(b)};
    return true;
}

// Fills `o`; answers an error text for a bad command line, empty when fine.
std::string ParseOptions(const std::vector<std::string>& args, EncodeOptions& o) {
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) -> bool {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        std::string v;
        if (arg == "--codec" || arg == "--pix" || arg == "--format" || arg == "--audio" ||
            arg == "--size" || arg == "--rate" || arg == "--frames" || arg == "--jobs") {
            if (!value(v)) return arg + " needs a value";
            if (arg == "--codec") o.codec = v;
            if (arg == "--pix") o.pix = v;
            if (arg == "--format") o.format = v;
            if (arg == "--audio") o.audio = v;
            if (arg == "--size") {
                std::pair<uint32_t, uint32_t> size;
                if (!ParsePair(v, 'x', size, false)) return "bad --size '" + v + "' (use WxH)";
                o.size = size;
            }
            if (arg == "--rate") {
                std::pair<uint32_t, uint32_t> rate;
                if (!ParsePair(v, '/', rate, true)) return "bad --rate '" + v + "' (use N or N/D)";
                o.rate = rate;
            }
            if (arg == "--frames") {
                uint64_t n = 0;
                if (!ParseNumber(v, n) || n == 0) return "bad --frames '" + v + "'";
                o.frames = n;
            }
            if (arg == "--jobs") {
                uint64_t n = 0;
                if (!ParseNumber(v, n) || n == 0 || n > 64) return "bad --jobs '" + v + "' (1-64)";
                o.jobs = static_cast<unsigned>(n);
            }
        } else if (arg == "--no-audio") {
            o.noAudio = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) return "no output file";
    if (positional.size() > 2) return "unexpected argument '" + positional[2] + "'";
    o.output = positional[0];
    if (positional.size() == 2) o.input = positional[1];
    if (!o.audio.empty() && o.noAudio) return "--audio and --no-audio exclude each other";
    if (!o.pix.empty() && o.input.empty()) return "--pix needs an INPUT file";
    if (!o.pix.empty() && (!o.size || !o.rate))
        return "raw input (--pix) needs --size WxH and --rate N[/D]";
    return {};
}

std::unique_ptr<VideoSource> OpenVideo(const EncodeOptions& o) {
    if (!o.input.empty() && o.pix.empty()) return std::make_unique<Y4mReader>(o.input);
    PictureFormat format;
    const std::string& name = o.pix.empty() ? o.format : o.pix;
    if (!ParsePixelFormat(name, format)) throw InputError("unknown pixel format '" + name + "'");
    if (!o.pix.empty() && format.packing == Packing::Planar)
        throw InputError("--pix takes rgb24, rgba, rgb48le or rgba64le; use YUV4MPEG2 for YUV");
    format.width = o.size ? o.size->first : 1280;
    format.height = o.size ? o.size->second : 720;
    format.rate = o.rate ? o.rate->first : 25;
    format.scale = o.rate ? o.rate->second : 1;
    if (!o.pix.empty()) return std::make_unique<RawVideoReader>(o.input, format);
    return std::make_unique<TestPattern>(format, o.frames.value_or(100));
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

void PrintProgress(const EncodeProgress& p) {
    const double fps = p.seconds > 0 ? static_cast<double>(p.frames) / p.seconds : 0;
    const double mbps = p.seconds > 0 ? static_cast<double>(p.rawBytes) / 1e6 / p.seconds : 0;
    std::fprintf(stderr, "\rframe %6llu", static_cast<unsigned long long>(p.frames));
    if (p.expected) std::fprintf(stderr, "/%llu", static_cast<unsigned long long>(*p.expected));
    std::fprintf(stderr, "  %7.1f fps  %8.1f MB/s", fps, mbps);
    if (p.expected && fps > 0 && *p.expected >= p.frames) {
        const auto eta =
            static_cast<long long>(std::lround(static_cast<double>(*p.expected - p.frames) / fps));
        std::fprintf(stderr, "  ETA %lld:%02lld", eta / 60, eta % 60);
    }
    std::fprintf(stderr, "   ");
    std::fflush(stderr);
}

}  // namespace

int RunEncode(Context& context) {
    std::ostream& out = context.out;
    std::ostream& err = context.err;
    EncodeOptions o;
    if (std::string problem = ParseOptions(context.args, o); !problem.empty()) {
        err << "iohost encode: " << problem << "\n";
        return kExitUsage;
    }
    std::optional<PluginModule> module;
    if (!LoadPlugin(context, module)) return kExitFailure;
    try {
        std::unique_ptr<VideoSource> video = OpenVideo(o);
        if (o.frames && !o.input.empty())
            video = std::make_unique<LimitedSource>(std::move(video), *o.frames);
        const PictureFormat& picture = video->format();

        Driver driver(*module);
        std::vector<CodecInfo> codecs;
        std::vector<ContainerInfo> containers;
        if (driver.listCodecs(codecs) != errNone || driver.listContainers(containers) != errNone ||
            containers.empty())
            throw std::runtime_error("the plug-in does not list its codecs and container");
        const std::string wanted = o.codec.empty() ? DefaultCodecName(picture) : o.codec;
        const CodecInfo* codec = FindCodec(codecs, wanted);
        if (codec == nullptr) throw InputError("no codec named '" + wanted + "' (see iohost info)");
        const auto layout = RawLayoutOf(codec->colorModel, codec->hSubsampling, codec->vSubsampling,
                                        codec->bitDepth);
        if (!layout)
            throw InputError("codec '" + codec->name + "' takes a raw layout unknown here");
        std::string why;
        const auto converter = FrameConverter::make(picture, *layout, why);
        if (!converter) throw InputError(why + " ('" + codec->name + "')");
        if (picture.frameBytes() > 0xFFFFFFFFu || picture.width > 32767 || picture.height > 32767)
            throw InputError("frames of " + std::to_string(picture.width) + "x" +
                             std::to_string(picture.height) + " are too large for '" + codec->name +
                             "'");

        std::unique_ptr<AudioSource> audio;
        if (!o.audio.empty()) {
            audio = std::make_unique<WavReader>(o.audio);
        } else if (!o.noAudio) {
            audio = std::make_unique<ToneSource>(48000, 2);
        }

        EncodeSettings settings{o.output, *codec, containers.front(), o.jobs};
        EncodeSession session(driver, settings, *video, *converter, audio.get());
        const bool progress = ErrIsTerminal(context) && !o.quiet;
        if (progress) session.onProgress(PrintProgress);
        const EncodeProgress result = session.run();
        if (progress) std::fprintf(stderr, "\n");
        if (!o.quiet) {
            const double fps = result.seconds > 0 ? result.frames / result.seconds : 0;
            out << "Encoded " << result.frames << " frames of " << picture.describe() << " with '"
                << codec->name << "' (" << FourCCToText(codec->fourcc) << "), " << o.jobs
                << (o.jobs == 1 ? " job" : " jobs") << "\n";
            if (audio)
                out << "Audio:  " << result.audioFrames << " sample frames, "
                    << audio->format().channels << " ch, " << audio->format().sampleRate << " Hz, "
                    << audio->format().bitsPerSample
                    << (audio->format().isFloat ? "-bit float\n" : "-bit PCM\n");
            out << std::fixed << std::setprecision(2) << "Output: " << o.output << "  video "
                << Megabytes(result.packetBytes) << " from " << Megabytes(result.rawBytes)
                << " raw, ratio "
                << (result.packetBytes > 0
                        ? static_cast<double>(result.rawBytes) / result.packetBytes
                        : 0.0)
                << ":1\n"
                << std::setprecision(1) << "Speed:  " << fps << " fps, "
                << (result.seconds > 0 ? static_cast<double>(result.rawBytes) / 1e6 / result.seconds
                                       : 0.0)
                << " MB/s, " << std::setprecision(2) << result.seconds << " s\n";
        }
        return kExitOk;
    } catch (const InputError& e) {
        err << "iohost encode: " << e.what() << "\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        err << "iohost encode: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
