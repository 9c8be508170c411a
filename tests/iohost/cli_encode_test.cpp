// `iohost encode`, `inspect` and `decode` through the real module, in-process: built-in sources
// (so these run everywhere, Windows under Wine included), WAV audio bit-exact in the file,
// --jobs, and a table of bad inputs.
#include <filesystem>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/test_pattern.h"
#include "platform/iohost/wav_writer.h"
#include "platform/iohost/y4m_writer.h"
#include "tests/iohost/cli_test_support.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using namespace iohost;

class CliEncodeTest : public HostTest {
protected:
    ScratchDir dir;

    // Writes `frames` of the test pattern in `pixfmt` as a source file (y4m for YUV, raw for RGB).
    std::string MakeSource(const std::string& pixfmt, uint32_t w, uint32_t h, int frames) {
        PictureFormat f;
        EXPECT_TRUE(ParsePixelFormat(pixfmt, f));
        f.width = w;
        f.height = h;
        const bool y4m = f.packing == Packing::Planar;
        const std::string path = dir / ("src_" + pixfmt + (y4m ? ".y4m" : ".raw"));
        VideoWriter writer(path, f, y4m);
        std::vector<uint8_t> frame(f.frameBytes());
        for (int i = 0; i < frames; ++i) {
            TestPattern::render(f, static_cast<uint64_t>(i), frame.data());
            writer.write(frame.data());
        }
        writer.close();
        return path;
    }

    // The command fails with that status and message and leaves no output behind.
    void expectFailure(const std::vector<std::string>& args, int status,
                       const std::string& message) {
        SCOPED_TRACE(message);
        const CliOutcome r = RunIohost(args);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_TRUE(Has(r.err, message)) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.avi"));
        EXPECT_FALSE(std::filesystem::exists(dir / "x.y4m"));
    }
};

TEST_F(CliEncodeTest, EveryInputLayoutRoundTripsThroughTheModule) {
    const struct {
        std::string pixfmt, fourcc;  // the codec chosen by default for the input
        bool exact;                  // it keeps every bit of the input
    } cases[] = {
        {"yuv420p", "P8Y0", true},   {"yuv422p", "P8Y2", true},   {"yuv444p", "P8Y4", true},
        {"gray", "P8G0", true},      {"yuv422p10", "P0Y2", true}, {"yuv420p10", "P0Y0", true},
        {"yuv444p10", "P0Y4", true}, {"gray10", "P0G0", true},    {"rgb24", "P8RG", true},
        {"rgba", "P8RA", true},      {"rgb48le", "P4RG", false},  {"rgba64le", "P4RA", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pixfmt);
        // Odd sizes exercise the half-pixel edges of every subsampled layout.
        const std::string source = MakeSource(c.pixfmt, 37, 23, 3);
        const std::string avi = dir / (c.pixfmt + ".avi"), back = dir / "back.out";
        std::vector<std::string> args{"encode", avi, source, "--no-audio"};
        if (source.ends_with(".raw"))
            args.insert(args.end(), {"--pix", c.pixfmt, "--size", "37x23", "--rate", "25"});
        const CliOutcome enc = RunIohost(args);
        ASSERT_EQ(enc.status, 0) << enc.err;
        EXPECT_TRUE(Has(enc.out, "(" + c.fourcc + ")")) << enc.out;
        EXPECT_TRUE(Has(enc.out, "Encoded 3 frames")) << enc.out;
        const CliOutcome dec = RunIohost({"decode", avi, "-o", back, "--verify", source});
        EXPECT_EQ(dec.status, 0) << dec.err;
        EXPECT_TRUE(Has(dec.out, "Verified: all 3 frames")) << dec.out;
        if (c.exact) {
            EXPECT_EQ(ReadFile(back), ReadFile(source));
        }
    }
}

TEST_F(CliEncodeTest, VerifyNamesTheFirstDifferingSample) {
    const std::string source = MakeSource("yuv422p", 16, 8, 2);
    const std::string avi = dir / "v.avi", altered = dir / "altered.y4m";
    ASSERT_EQ(RunIohost({"encode", avi, source, "--no-audio", "-q"}).status, 0);
    std::string changed = ReadFile(source);
    const size_t header = changed.find("FRAME\n");
    const size_t secondFrame = header + 6 + 16 * 8 * 2 + 6;
    changed[secondFrame + 16 * 8 + 3] ^= 1;  // U plane, x 3, y 0 of frame 1
    WriteFile(altered, changed);
    const CliOutcome r = RunIohost({"decode", avi, "--verify", altered});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "verify failed: frame 1 differs: plane U, x 3, y 0")) << r.err;
    const std::string shorter = MakeSource("yuv422p", 16, 8, 1);
    EXPECT_TRUE(
        Has(RunIohost({"decode", avi, "--verify", shorter}).err, "the source ends after 1"));
}

TEST_F(CliEncodeTest, WavAudioIsStoredBitExactAndInterleaved) {
    const struct {
        AudioFormat format;
        uint16_t tag;
        uint32_t mask;
    } cases[] = {
        {{48000, 2, 16, false, 0x3}, 1, 0},
        {{44100, 6, 24, false, 0x3F}, 1, 0x3F},
        {{48000, 8, 32, false, 0x63F}, 1, 0x63F},
        {{32000, 1, 32, true, 0x4}, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format.channels);
        // 0.3 s of pseudo-random samples against 0.4 s of video: the tail of the WAV goes on
        // after the last frame, nothing is dropped.
        std::vector<uint8_t> samples(c.format.blockAlign() * c.format.sampleRate * 3 / 10);
        uint32_t x = 12345;
        for (auto& s : samples) s = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        const std::string wav = dir / "in.wav", avi = dir / "a.avi", out = dir / "out.wav";
        WriteWav(wav, c.format, samples);
        const CliOutcome enc = RunIohost({"encode", avi, "--size", "32x16", "--frames", "5",
                                          "--rate", "25", "--audio", wav, "-q"});
        ASSERT_EQ(enc.status, 0) << enc.err;

        const avireader::AviFile file = avireader::readAvi(avi);
        EXPECT_TRUE(avireader::checkAvi(file).empty());
        ASSERT_EQ(file.streams.size(), 2u);
        const auto& audio = *file.streams[1].audio;
        EXPECT_EQ(audio.extensible ? audio.subFormat[0] : audio.formatTag, c.tag);
        EXPECT_EQ(audio.channelMask, c.mask);
        // Interleaved: an audio chunk follows each video chunk while the sound lasts.
        ASSERT_GE(file.chunks.size(), 4u);
        EXPECT_EQ(file.chunks[0].stream, 0);
        EXPECT_EQ(file.chunks[1].stream, 1);
        EXPECT_EQ(file.chunks[2].stream, 0);

        ASSERT_EQ(RunIohost({"decode", avi, "--audio-out", out}).status, 0);
        const std::vector<uint8_t> expected = MakeWav(c.format, samples);
        EXPECT_EQ(ReadFile(out), std::string(expected.begin(), expected.end()));
    }
}

TEST_F(CliEncodeTest, JobsGiveByteIdenticalFilesThatInspectFindsConsistent) {
    const std::string one = dir / "one.avi", three = dir / "three.avi";
    for (const auto& [path, jobs] : {std::pair{one, "1"}, std::pair{three, "3"}}) {
        const CliOutcome r = RunIohost({"encode", path, "--size", "96x64", "--frames", "11",
                                        "--format", "yuv420p", "--jobs", jobs});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    std::string bytes = ReadFile(one);
    EXPECT_EQ(bytes, ReadFile(three));

    const CliOutcome good = RunIohost({"inspect", one});
    EXPECT_EQ(good.status, 0);
    EXPECT_TRUE(Has(good.out, "0: video P8Y0 96x64, 25/1 fps, 11 frames")) << good.out;
    EXPECT_TRUE(Has(good.out, "Consistent"));
    bytes.resize(bytes.size() - 200);  // the indexes at the end are cut: repair rebuilds them
    WriteFile(one, bytes);
    const CliOutcome cut = RunIohost({"inspect", one});
    EXPECT_EQ(cut.status, 3);
    EXPECT_TRUE(Has(cut.out, "Unfinished")) << cut.out;
    bytes[24] = 'X';  // and with a damaged main header it is no longer this writer's file
    WriteFile(one, bytes);
    const CliOutcome bad = RunIohost({"inspect", one});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(Has(bad.out, "error:")) << bad.out;
    EXPECT_TRUE(Has(bad.err, "is inconsistent"));
}

TEST_F(CliEncodeTest, BadInputsFailClearlyAndLeaveNoFile) {
    const std::string y4m = MakeSource("yuv422p", 8, 4, 2), out = dir / "out.avi";
    const std::string frames = ReadFile(y4m);
    const std::vector<uint8_t> wavBytes =
        MakeWav({48000, 2, 16, false, 0x3}, std::vector<uint8_t>(400, 1));
    const std::string wav(wavBytes.begin(), wavBytes.end());
    const auto withField = [&](size_t offset, char value) {  // a 16-bit field of the header
        return wav.substr(0, offset) + value + '\0' + wav.substr(offset + 2);
    };
    const std::pair<std::string, std::string> videos[] = {
        {frames.substr(0, frames.size() - 5), "frame 1 is truncated: 59 of 64 bytes"},
        {"YUV4MPEG2 W8 H4 F25:1 C422\nFRAMX\n", "frame 0: expected a FRAME marker"},
        {"YUV4MPEG3 W8 H4\n", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG2 W8 H4 F25:1 C420jpeg\n", "the input holds no frames"},
        {"YUV4MPEG2 H2 F25:1\n", "no frame size"},
        {"YUV4MPEG2 W0 H2\n", "bad width 'W0'"},
        {"YUV4MPEG2 W4 Hx\n", "bad height 'Hx'"},
        {"YUV4MPEG2 W4 H2 F25\n", "bad frame rate 'F25'"},
        {"YUV4MPEG2 W4 H2 F25:0\n", "bad frame rate"},
        {"YUV4MPEG2 W4 H2 C411\n", "unsupported colour space 'C411'"},
        {"YUV4MPEG2 W4 H2 C444alpha\n", "unsupported colour space"},
        {"YUV4MPEG2 W4 H2 C420jpegp10\n", "unsupported colour space"},
        {"YUV4MPEG2 W4 H2 Z9\n", "unknown tag 'Z9'"},
    };
    const std::pair<std::string, std::string> audios[] = {
        {"", "not a WAV file"},
        {"RIFX" + wav.substr(4), "not a WAV file"},
        {"RIFF....WAVEjunk", "no fmt chunk"},
        {withField(20, 2), "sample format 2 is not supported"},
        {withField(34, 8), "8-bit PCM WAV samples are not supported"},
        {withField(22, 9), "9 channels are not supported"},
        {withField(32, 6), "block alignment 6"},
        {wav.substr(0, wav.size() - 100), "data chunk is truncated: 300 of 400 bytes"},
        {wav.substr(0, 36), "no data chunk"},
    };
    for (const auto& [bytes, message] : videos) {
        WriteFile(dir / "in.y4m", bytes);
        expectFailure({"encode", out, dir / "in.y4m"}, 1, message);
    }
    for (const auto& [bytes, message] : audios) {
        WriteFile(dir / "in.wav", bytes);
        expectFailure({"encode", out, y4m, "--audio", dir / "in.wav"}, 1, message);
    }

    WriteFile(dir / "short.rgb", std::string(8 * 4 * 3 + 7, '\0'));
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"encode", out, dir / "absent.y4m"}, 1, "cannot open '" + dir / "absent.y4m" + "'"},
        {{"encode", out, y4m, "--audio", dir / "absent.wav"}, 1, "cannot open"},
        {{"encode", out, y4m, "--codec", "8-bit RGB"}, 1, "cannot be given to a codec"},
        {{"encode", out, y4m, "--codec", "NOPE"}, 1, "no codec named 'NOPE'"},
        {{"encode", out, dir / "short.rgb", "--pix", "rgb24", "--size", "8x4", "--rate", "25"},
         1,
         "frame 1 is truncated: 7 of 96 bytes"},
        {{"encode", out, "--size", "40000x16", "--frames", "1"}, 1, "too large"},
        {{"encode", out, "--size", "8x"}, 2, "bad --size '8x'"},
        {{"encode", out, "--jobs", "0"}, 2, "bad --jobs '0'"},
        {{"encode", out, y4m, "--pix", "rgb24"}, 2, "needs --size WxH and --rate"},
        {{"encode", out, "--format", "yuv411p"}, 1, "unknown pixel format 'yuv411p'"},
        {{"encode"}, 2, "no output file"},
        {{"encode", dir / "no_dir/x.avi", "--frames", "1"}, 1, "Failed to open output file"},
        {{"inspect", dir / "absent.avi"}, 1, "cannot open"},
        {{"decode", y4m, "-o", dir / "x.y4m"}, 1, "no video stream"},
        {{"decode", dir / "absent.avi", "-o", dir / "x.y4m"}, 1, "cannot open"},
        {{"decode", out}, 2, "nothing to do"},
    };
    for (const auto& c : cases) expectFailure(c.args, c.status, c.message);
}

}  // namespace
}  // namespace iohost_test
