// Encoder and decoder throughput of the codec library on 1920x1080 frames already in memory:
// 8-bit RGB, 8-bit 4:2:2, 8-bit 4:2:0 and 10-bit 4:2:2, a clean clip and a noisy one, on one
// thread and on two. Each benchmark reports frames per second (wall time) and the compression
// ratio (raw bytes / packet bytes). The decoder decodes the packets the encoder made of the
// same frames, into planes of its own output layout.
//
//   codec_bench [--frames-dir DIR] [--frames N] [--predictor 0|1|2] [benchmark flags]
// With --frames-dir the frames are read from DIR/<clip>_<pixfmt>.raw as ffmpeg writes them
// (clip "clean" or "noisy"; pixfmt rgb24, uyvy422, yuv420p, yuv422p10le), so that the codec
// codes the very frames the peers code; otherwise a clean and a noisy clip are synthesised.
// --predictor picks left, gradient or median instead of the library's default, to compare them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/parvolux_decoder.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;

struct BenchFormat {
    const char* name;
    const char* pixfmt;  // ffmpeg's name of the file layout
    uint32_t raw, compressed;
    size_t frameBytes;
    bool tenBit;  // file holds low-aligned 10-bit samples; the codec takes them high-aligned
};

const BenchFormat kFormats[] = {
    {"rgb8", "rgb24", 22, 101, size_t{kWidth} * kHeight * 3, false},
    {"yuv422_8", "uyvy422", 5, 104, size_t{kWidth} * kHeight * 2, false},
    {"yuv420_8", "yuv420p", 10, 105, size_t{kWidth} * kHeight * 3 / 2, false},
    {"yuv422_10", "yuv422p10le", 59, 108, size_t{kWidth} * kHeight * 4, true},
};
const char* const kClips[] = {"clean", "noisy"};

std::string g_framesDir;
size_t g_frameCount = 8;
int g_predictor = -1;  // the library's default

std::vector<std::vector<uint8_t>> readFrames(const BenchFormat& f, const std::string& clip) {
    const std::string path = g_framesDir + "/" + clip + "_" + f.pixfmt + ".raw";
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = 0; i < g_frameCount; ++i) {
        std::vector<uint8_t> frame(f.frameBytes);
        if (!in.read(reinterpret_cast<char*>(frame.data()),
                     static_cast<std::streamsize>(frame.size())))
            break;
        if (f.tenBit)
            for (size_t k = 0; k < frame.size(); k += 2) {
                const uint32_t v = (frame[k] | (frame[k + 1] << 8)) << 6;
                frame[k] = static_cast<uint8_t>(v);
                frame[k + 1] = static_cast<uint8_t>(v >> 8);
            }
        frames.push_back(std::move(frame));
    }
    if (frames.empty()) throw std::runtime_error("no whole frame in " + path);
    return frames;
}

// Moving smooth shapes with sharp edges; the noisy clip adds independent noise per sample.
std::vector<std::vector<uint8_t>> synthesiseFrames(const BenchFormat& f, bool noisy) {
    std::mt19937 rng(1);
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = 0; i < g_frameCount; ++i) {
        std::vector<uint8_t> frame(f.frameBytes);
        const size_t samples = f.tenBit ? frame.size() / 2 : frame.size();
        const size_t rowSamples = samples / (f.raw == 10 ? kHeight * 3 / 2 : kHeight);
        for (size_t k = 0; k < samples; ++k) {
            const double x = static_cast<double>(k % rowSamples),
                         y = static_cast<double>(k / rowSamples);
            double v =
                0.5 + 0.3 * std::sin((x + 8.0 * i) * 0.01) * std::cos(y * 0.013) +
                ((static_cast<int>(x + 4 * i) / 97 + static_cast<int>(y) / 61) % 3 == 0 ? 0.15
                                                                                        : 0.0);
            if (noisy) v += (static_cast<int>(rng() % 41) - 20) / 1023.0;
            const uint32_t value =
                static_cast<uint32_t>(std::clamp(v, 0.0, 1.0) * (f.tenBit ? 1023 : 255));
            if (f.tenBit) {
                frame[2 * k] = static_cast<uint8_t>(value << 6);
                frame[2 * k + 1] = static_cast<uint8_t>(value >> 2);
            } else {
                frame[k] = static_cast<uint8_t>(value);
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

// Frames are loaded once per clip and format; a benchmark function runs several times.
const std::vector<std::vector<uint8_t>>& framesFor(const BenchFormat& f, const std::string& clip) {
    static std::map<std::string, std::vector<std::vector<uint8_t>>> cache;
    auto& frames = cache[std::string(f.name) + "/" + clip];
    if (frames.empty())
        frames = g_framesDir.empty() ? synthesiseFrames(f, clip == "noisy") : readFrames(f, clip);
    return frames;
}

// One open library handle that compresses the format's frames; closes at destruction.
class Compressor {
public:
    explicit Compressor(const BenchFormat& f)
        : m_in{kWidth, kHeight, parvoluxFormatExtended, 1, f.raw, 0, 0, 1, 0} {
        if (g_predictor >= 0) (void)parvolux_test_set_predictor(static_cast<uint32_t>(g_predictor));
        const FrameFormat out{0, 0, parvoluxFormatExtended, 1, f.compressed, 0, 0, 0, 0};
        const uint8_t* cookie = nullptr;
        uint64_t cookieSize = 0;
        uint32_t bufferSize = 0;
        m_ok =
            parvolux_library_init() == 0 && parvolux_open(&m_handle) == 0 &&
            parvolux_compress_begin(m_handle, &m_in, &out, &cookie, &cookieSize, &bufferSize) == 0;
        if (m_ok) {
            m_cookie.assign(cookie, cookie + cookieSize);
            m_packet.resize(bufferSize);
        }
    }
    ~Compressor() {
        (void)parvolux_close(m_handle);
        (void)parvolux_library_close();
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    bool ok() const { return m_ok; }
    const std::vector<uint8_t>& cookie() const { return m_cookie; }
    // Answers the packet size, 0 on failure; the packet lives until the next call.
    uint32_t compress(const std::vector<uint8_t>& frame) {
        FramePlanes planes{};
        uint32_t size = 0;
        if (parvolux_init_planes_common(m_handle, &m_in, &planes, frame.data()) != 0 ||
            parvolux_compress(m_handle, &planes, m_packet.data(), &size) != 0)
            return 0;
        return size;
    }
    const uint8_t* packet() const { return m_packet.data(); }

private:
    FrameFormat m_in;
    uint32_t m_handle = 0;
    bool m_ok = false;
    std::vector<uint8_t> m_cookie;
    std::vector<uint8_t> m_packet;
};

void reportRates(benchmark::State& state, uint64_t rawBytes, uint64_t packetBytes) {
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ratio"] =
        packetBytes != 0 ? static_cast<double>(rawBytes) / static_cast<double>(packetBytes) : 0.0;
}

void encode(benchmark::State& state, const BenchFormat& f, std::string clip, unsigned threads) {
    const auto& frames = framesFor(f, clip);
    parvolux_test_set_threads(threads);
    Compressor compressor(f);
    if (!compressor.ok()) {
        state.SkipWithError("library init failed");
        return;
    }
    uint64_t rawBytes = 0, packetBytes = 0;
    size_t next = 0;
    for (auto _ : state) {
        const std::vector<uint8_t>& frame = frames[next++ % frames.size()];
        const uint32_t size = compressor.compress(frame);
        if (size == 0) {
            state.SkipWithError("compress failed");
            break;
        }
        rawBytes += frame.size();
        packetBytes += size;
    }
    parvolux_test_set_threads(0);
    reportRates(state, rawBytes, packetBytes);
}

struct EncodedClip {
    std::vector<uint8_t> cookie;
    std::vector<std::vector<uint8_t>> packets;
    size_t frameBytes = 0;
};

// The packets the library makes of the clip, encoded once and shared by every decode run.
const EncodedClip& encodedFor(const BenchFormat& f, const std::string& clip) {
    static std::map<std::string, EncodedClip> cache;
    EncodedClip& encoded = cache[std::string(f.name) + "/" + clip];
    if (!encoded.packets.empty()) return encoded;
    Compressor compressor(f);
    if (!compressor.ok()) throw std::runtime_error("library init failed");
    encoded.cookie = compressor.cookie();
    encoded.frameBytes = f.frameBytes;
    for (const std::vector<uint8_t>& frame : framesFor(f, clip)) {
        const uint32_t size = compressor.compress(frame);
        if (size == 0) throw std::runtime_error("compress failed");
        encoded.packets.emplace_back(compressor.packet(), compressor.packet() + size);
    }
    return encoded;
}

// Decodes into planes of the decoder's own layout, as `iohost decode` does.
void decode(benchmark::State& state, const BenchFormat& f, std::string clip, unsigned threads) {
    const EncodedClip& encoded = encodedFor(f, clip);
    parvolux_test_set_threads(threads);
    ParvoluxDecoder* decoder = nullptr;
    ParvoluxOutputLayout layout{};
    if (parvolux_decoder_open(encoded.cookie.data(), encoded.cookie.size(), kWidth, kHeight, 0,
                              &decoder) != 0 ||
        parvolux_decoder_layout(decoder, &layout) != 0) {
        state.SkipWithError("decoder_open failed");
        return;
    }
    std::vector<std::vector<uint8_t>> buffers(layout.planeCount);
    ParvoluxOutputPlane planes[4] = {};
    for (uint32_t p = 0; p < layout.planeCount; ++p) {
        buffers[p].resize(size_t{layout.plane[p].rowBytes} * layout.plane[p].height);
        planes[p] = {buffers[p].data(), layout.plane[p].rowBytes, buffers[p].size()};
    }
    uint64_t rawBytes = 0, packetBytes = 0;
    size_t next = 0;
    for (auto _ : state) {
        const std::vector<uint8_t>& packet = encoded.packets[next++ % encoded.packets.size()];
        if (parvolux_decoder_decode(decoder, packet.data(), packet.size(), planes) != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        rawBytes += encoded.frameBytes;
        packetBytes += packet.size();
    }
    parvolux_decoder_close(decoder);
    parvolux_test_set_threads(0);
    reportRates(state, rawBytes, packetBytes);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames-dir") == 0 && i + 1 < argc) {
            g_framesDir = argv[++i];
        } else if (std::strcmp(argv[i], "--predictor") == 0 && i + 1 < argc) {
            g_predictor = std::stoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            g_frameCount = std::stoul(argv[++i]);
        } else {
            rest.push_back(argv[i]);
        }
    }
    using Run = void (*)(benchmark::State&, const BenchFormat&, std::string, unsigned);
    const std::pair<const char*, Run> kWork[] = {{"encode", &encode}, {"decode", &decode}};
    for (const auto& [work, run] : kWork)
        for (const BenchFormat& f : kFormats)
            for (const char* clip : kClips)
                for (unsigned threads : {1u, 2u})
                    benchmark::RegisterBenchmark(
                        (std::string(work) + "/" + f.name + "/" + clip +
                         "/threads:" + std::to_string(threads))
                            .c_str(),
                        [&f, clip, threads, run = run](benchmark::State& s) {
                            run(s, f, clip, threads);
                        })
                        ->UseRealTime()
                        ->Unit(benchmark::kMillisecond);
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
