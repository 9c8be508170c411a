// `iohost encode`, `inspect` and `decode` through the real module, in-process: built-in sources
// (so these run everywhere, Windows under Wine included), WAV audio bit-exact in the file,
// --jobs, and a table of bad inputs.
#include <gtest/gtest.h>

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
};

TEST_F(CliEncodeTest, EveryInputLayoutRoundTripsThroughTheModule) {
    struct Case {
        const char* pixfmt;
        const char* codec;  // expected default codec
        const char* fourcc;
    } cases[] = {
        {"yuv420p", "8-bit YUV 420", "P8Y0"},    {"yuv422p", "8-bit YUV 422", "P8Y2"},
        {"yuv444p", "8-bit YUV 444", "P8Y4"},    {"gray", "8-bit Y Only", "P8G0"},
        {"yuv422p10", "10-bit YUV 422", "P0Y2"}, {"yuv420p10", "10-bit YUV 420", "P0Y0"},
        {"yuv444p10", "10-bit YUV 444", "P0Y4"}, {"gray10", "10-bit Y Only", "P0G0"},
        {"rgb24", "8-bit RGB", "P8RG"},          {"rgba", "8-bit RGBA", "P8RA"},
        {"rgb48le", "14-bit RGB", "P4RG"},       {"rgba64le", "14-bit RGBA", "P4RA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixfmt);
        // Odd sizes exercise the half-pixel edges of every subsampled layout.
        const std::string source = MakeSource(c.pixfmt, 37, 23, 3);
        const std::string avi = dir / (std::string(c.pixfmt) + ".avi");
        std::vector<std::string> args{"encode", avi, source, "--no-audio"};
        if (source.ends_with(".raw")) {
            for (const char* a : {"--pix", c.pixfmt, "--size", "37x23", "--rate", "25"})
                args.push_back(a);
        }
        const CliOutcome enc = RunIohost(args);
        ASSERT_EQ(enc.status, 0) << enc.err;
        EXPECT_NE(enc.out.find(std::string("'") + c.codec + "' (" + c.fourcc + ")"),
                  std::string::npos)
            << enc.out;
        EXPECT_NE(enc.out.find("Encoded 3 frames"), std::string::npos) << enc.out;

        const CliOutcome inspect = RunIohost({"inspect", avi});
        EXPECT_EQ(inspect.status, 0) << inspect.out << inspect.err;
        EXPECT_NE(inspect.out.find(std::string("video ") + c.fourcc + " 37x23"), std::string::npos)
            << inspect.out;

        const std::string back = dir / "back.out";
        const CliOutcome dec = RunIohost({"decode", avi, "-o", back, "--verify", source});
        EXPECT_EQ(dec.status, 0) << dec.err;
        EXPECT_NE(dec.out.find("Verified: all 3 frames"), std::string::npos) << dec.out;
        // Where the codec keeps every bit, the decoded file is the source, byte for byte.
        const std::string name = c.pixfmt;
        if (name.find("48") == std::string::npos && name.find("64") == std::string::npos) {
            EXPECT_EQ(ReadBytes(back), ReadBytes(source));
        }
    }
}

TEST_F(CliEncodeTest, VerifyNamesTheFirstDifferingSample) {
    const std::string source = MakeSource("yuv422p", 16, 8, 2);
    const std::string avi = dir / "v.avi";
    ASSERT_EQ(RunIohost({"encode", avi, source, "--no-audio", "-q"}).status, 0);
    std::vector<uint8_t> changed = ReadBytes(source);
    const size_t header = std::string(changed.begin(), changed.end()).find("FRAME\n");
    const size_t secondFrame = header + 6 + 16 * 8 * 2 + 6;
    changed[secondFrame + 16 * 8 + 3] ^= 1;  // U plane, x 3, y 0 of frame 1
    const std::string altered = dir / "altered.y4m";
    WriteBytes(altered, changed);
    const CliOutcome r = RunIohost({"decode", avi, "--verify", altered});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("verify failed: frame 1 differs: plane U, x 3, y 0"), std::string::npos)
        << r.err;

    const std::string shorter = MakeSource("yuv422p", 16, 8, 1);
    EXPECT_NE(RunIohost({"decode", avi, "--verify", shorter}).err.find("the source ends after 1"),
              std::string::npos);
}

TEST_F(CliEncodeTest, WavAudioIsStoredBitExactAndInterleaved) {
    struct Case {
        AudioFormat format;
        uint16_t tag;
        uint32_t mask;
    } cases[] = {
        {{48000, 2, 16, false, 0x3}, 1, 0},
        {{44100, 6, 24, false, 0x3F}, 1, 0x3F},
        {{48000, 8, 32, false, 0x63F}, 1, 0x63F},
        {{32000, 1, 32, true, 0x4}, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format.channels);
        // 0.3 s of pseudo-random samples against 0.4 s of video: the tail of the WAV goes on
        // after the last frame, nothing is dropped.
        std::vector<uint8_t> samples(c.format.blockAlign() * c.format.sampleRate * 3 / 10);
        uint32_t x = 12345;
        for (auto& s : samples) s = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        const std::string wav = dir / "in.wav";
        WriteWav(wav, c.format, samples);
        const std::string avi = dir / "a.avi";
        const CliOutcome enc = RunIohost({"encode", avi, "--size", "32x16", "--frames", "5",
                                          "--rate", "25", "--audio", wav, "-q"});
        ASSERT_EQ(enc.status, 0) << enc.err;

        const avireader::AviFile file = avireader::readAvi(avi);
        EXPECT_TRUE(avireader::checkAvi(file).empty());
        ASSERT_EQ(file.streams.size(), 2u);
        const auto& audio = *file.streams[1].audio;
        EXPECT_EQ(audio.channels, c.format.channels);
        EXPECT_EQ(audio.bitsPerSample, c.format.bitsPerSample);
        EXPECT_EQ(audio.samplesPerSec, c.format.sampleRate);
        EXPECT_EQ(audio.extensible ? audio.subFormat[0] : audio.formatTag, c.tag);
        EXPECT_EQ(audio.channelMask, c.mask);
        std::vector<uint8_t> stored, payload;
        for (const auto& chunk : avireader::chunksOfStream(file, 1)) {
            ASSERT_TRUE(avireader::readPayload(avi, chunk, payload));
            stored.insert(stored.end(), payload.begin(), payload.end());
        }
        EXPECT_EQ(stored, samples);
        // Interleaved: an audio chunk follows each video chunk while the sound lasts.
        ASSERT_GE(file.chunks.size(), 4u);
        EXPECT_EQ(file.chunks[0].stream, 0);
        EXPECT_EQ(file.chunks[1].stream, 1);
        EXPECT_EQ(file.chunks[2].stream, 0);

        const std::string out = dir / "out.wav";
        ASSERT_EQ(RunIohost({"decode", avi, "--audio-out", out}).status, 0);
        EXPECT_EQ(ReadBytes(out), MakeWav(c.format, samples));
    }
}

TEST_F(CliEncodeTest, JobsGiveByteIdenticalFiles) {
    const std::string one = dir / "one.avi", three = dir / "three.avi";
    for (const auto& [path, jobs] : {std::pair{one, "1"}, std::pair{three, "3"}}) {
        const CliOutcome r = RunIohost({"encode", path, "--size", "96x64", "--frames", "11",
                                        "--format", "yuv420p", "--jobs", jobs});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const auto a = ReadBytes(one);
    EXPECT_GT(a.size(), 10000u);
    EXPECT_EQ(a, ReadBytes(three));
}

TEST_F(CliEncodeTest, BadInputsFailClearlyAndLeaveNoFile) {
    const std::string y4m = MakeSource("yuv422p", 8, 4, 2);
    std::vector<uint8_t> bytes = ReadBytes(y4m);
    const std::string truncated = dir / "truncated.y4m";
    WriteBytes(truncated, std::vector<uint8_t>(bytes.begin(), bytes.end() - 5));
    const std::string noMarker = dir / "nomarker.y4m";
    WriteText(noMarker, "YUV4MPEG2 W8 H4 F25:1 C422\nFRAMX\n");
    const std::string noSignature = dir / "nosig.y4m";
    WriteText(noSignature, "YUV4MPEG3 W8 H4\n");
    const std::string badColour = dir / "c411.y4m";
    WriteText(badColour, "YUV4MPEG2 W8 H4 F25:1 C411\n");
    const std::string empty = dir / "empty.y4m";
    WriteText(empty, "YUV4MPEG2 W8 H4 F25:1 C420jpeg\n");
    const std::string badWav = dir / "bad.wav";
    WriteText(badWav, "RIFF....WAVEjunk");
    const std::string rgb = dir / "short.rgb";
    WriteBytes(rgb, std::vector<uint8_t>(8 * 4 * 3 + 7));
    const std::string out = dir / "out.avi";

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"encode", out, dir / "absent.y4m"}, 1, "cannot open '" + dir / "absent.y4m" + "'"},
        {{"encode", out, truncated}, 1, "frame 1 is truncated: 59 of 64 bytes"},
        {{"encode", out, noMarker}, 1, "frame 0: expected a FRAME marker"},
        {{"encode", out, noSignature}, 1, "not a YUV4MPEG2 stream"},
        {{"encode", out, badColour}, 1, "unsupported colour space 'C411'"},
        {{"encode", out, empty}, 1, "the input holds no frames"},
        {{"encode", out, y4m, "--audio", badWav}, 1, "no fmt chunk"},
        {{"encode", out, y4m, "--audio", dir / "absent.wav"}, 1, "cannot open"},
        {{"encode", out, y4m, "--codec", "8-bit RGB"}, 1, "cannot be given to a codec"},
        {{"encode", out, y4m, "--codec", "NOPE"}, 1, "no codec named 'NOPE'"},
        {{"encode", out, rgb, "--pix", "rgb24", "--size", "8x4", "--rate", "25"},
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
    for (const Case& c : cases) {
        const CliOutcome r = RunIohost(c.args);
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.message;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.y4m")) << c.message;
    }
}

TEST_F(CliEncodeTest, InspectFailsOnADamagedFile) {
    const std::string avi = dir / "d.avi";
    ASSERT_EQ(RunIohost({"encode", avi, "--size", "32x16", "--frames", "4", "-q"}).status, 0);
    const CliOutcome good = RunIohost({"inspect", avi});
    EXPECT_EQ(good.status, 0);
    EXPECT_NE(good.out.find("0: video P8Y2 32x16, 25/1 fps, 4 frames"), std::string::npos)
        << good.out;
    EXPECT_NE(good.out.find("Consistent"), std::string::npos);
    std::vector<uint8_t> bytes = ReadBytes(avi);
    bytes.resize(bytes.size() - 200);  // the indexes at the end are cut
    WriteBytes(avi, bytes);
    const CliOutcome bad = RunIohost({"inspect", avi});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("error:"), std::string::npos) << bad.out;
    EXPECT_NE(bad.err.find("is inconsistent"), std::string::npos);
}

}  // namespace
}  // namespace iohost_test
