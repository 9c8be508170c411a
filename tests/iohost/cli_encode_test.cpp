// encode, inspect and decode in-process on sources made here, so that they run under Wine too:
// every layout and odd size, tags, WAV audio and refused inputs.
#include <filesystem>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

#include "fileio/platform_file.h"
#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/media/wav_writer.h"
#include "tests/iohost/cli_test_support.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using namespace iohost;

class CliEncodeTest : public HostTest {
protected:
    ScratchDir dir;
};

TEST_F(CliEncodeTest, EveryLayoutAndOddSizeRoundTripsBitExact) {
    struct Tags {
        Scan scan = Scan::Unknown;
        Range range = Range::Unknown;
    };
    // Interlaced and full range: the header says so again after decoding.
    const Tags tff{Scan::TopFirst, Range::Full}, bff{Scan::BottomFirst, Range::Full};
    const struct {
        std::string pixfmt, fourcc;  // the codec chosen by default for the input
        Tags tags{};
    } layouts[] = {
        {"yuv420p", "P8Y0"},      {"yuv422p", "P8Y2"},        {"yuv444p", "P8Y4"},
        {"gray", "P8G0"},         {"yuv420p10", "P0Y0"},      {"yuv422p10", "P0Y2"},
        {"yuv444p10", "P0Y4"},    {"gray10", "P0G0"},         {"rgb24", "P8RG"},
        {"rgba", "P8RA"},         {"gbrp10le", "P0RG"},       {"gbrap10le", "P0RA"},
        {"gbrp12le", "P2RG"},     {"gbrap12le", "P2RA"},      {"gbrp14le", "P4RG"},
        {"yuv422p", "P8Y2", tff}, {"yuv420p10", "P0Y0", bff},
    };
    const struct {
        uint32_t w, h;
        int frames;
    } sizes[] = {{37, 23, 3}, {1, 1, 2}, {7, 5, 2}, {4, 1, 2}, {1921, 1081, 1}};
    for (const auto& size : sizes) {
        for (const auto& c : layouts) {
            const bool big = size.w > 1000;
            if (big && (c.pixfmt.starts_with("gb") || c.pixfmt.starts_with("rgb"))) continue;
            const std::string geometry = std::to_string(size.w) + "x" + std::to_string(size.h);
            SCOPED_TRACE(c.pixfmt + " " + geometry +
                         (c.tags.range == Range::Full ? " tagged" : ""));
            PictureFormat f;
            ASSERT_TRUE(ParsePixelFormat(c.pixfmt, f));
            const std::string source =
                WriteSource(dir, f.isRgb() ? "src.raw" : "src.y4m", c.pixfmt, size.w, size.h,
                            size.frames, false, c.tags.scan, c.tags.range);
            const std::string avi = dir / "out.avi", back = dir / "back.out";
            std::vector<std::string> args{"encode", avi, source, "-y"};
            std::vector<std::string> decode{"decode", avi, "-o", back, "--verify", source, "-y"};
            if (f.isRgb()) {
                args.insert(args.end(), {"--pix", c.pixfmt, "--size", geometry, "--rate", "25"});
                decode.insert(decode.end(), {"--pix", c.pixfmt});
            }
            const CliOutcome enc = RunIohost(args);
            ASSERT_EQ(enc.status, 0) << enc.err;
            EXPECT_TRUE(Has(enc.err, "(" + c.fourcc + ")")) << enc.err;
            EXPECT_FALSE(Has(enc.err, "warning")) << enc.err;
            const CliOutcome dec = RunIohost(decode);
            EXPECT_EQ(dec.status, 0) << dec.err;
            EXPECT_TRUE(Has(dec.err, "Verified: all " + std::to_string(size.frames) + " frames"))
                << dec.err;
            EXPECT_EQ(ReadFile(back), ReadFile(source));
        }
    }
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
        std::filesystem::remove(wav);
        WriteWav(wav, c.format, samples);
        const CliOutcome enc = RunIohost({"encode", avi, "--pattern", "--size", "32x16", "--frames",
                                          "5", "--rate", "25", "--audio", wav, "-q", "-y"});
        ASSERT_EQ(enc.status, 0) << enc.err;

        const avireader::AviFile file = avireader::readAvi(avi);
        EXPECT_TRUE(avireader::checkAvi(file).empty());
        ASSERT_EQ(file.streams.size(), 2u);
        const auto& audio = *file.streams[1].audio;
        EXPECT_EQ(audio.extensible ? audio.subFormat[0] : audio.formatTag, c.tag);
        EXPECT_EQ(audio.channelMask, c.mask);
        // Interleaved: an audio chunk follows each video chunk while the sound lasts.
        ASSERT_GE(file.chunks.size(), 4u);
        EXPECT_TRUE(file.chunks[0].stream == 0 && file.chunks[1].stream == 1 &&
                    file.chunks[2].stream == 0);

        ASSERT_EQ(RunIohost({"decode", avi, "--audio-out", out, "-y"}).status, 0);
        const std::vector<uint8_t> expected = MakeWav(c.format, samples);
        EXPECT_EQ(ReadFile(out), std::string(expected.begin(), expected.end()));
    }
}

TEST_F(CliEncodeTest, MalformedInputsFailClearlyAndLeaveNoFile) {
    const std::string y4m = WriteSource(dir, "src.y4m", "yuv422p", 8, 4, 2), out = dir / "out.avi";
    const std::vector<uint8_t> wav =
        MakeWav({48000, 2, 16, false, 0x3}, std::vector<uint8_t>(4, 1));
    std::string nine(wav.begin(), wav.end());
    nine[22] = 9;  // the channel count
    WriteFile(dir / "nine.wav", nine);
    WriteFile(dir / "short.rgb", std::string(8 * 4 * 3 + 7, '\0'));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"encode", out, y4m, "--codec", "8-bit RGB"}, "cannot be given to a codec"},
        {{"encode", out, y4m, "--codec", "NOPE"}, "no codec named 'NOPE'"},
        {{"encode", out, "--pattern", "--size", "40000x16", "--frames", "1"}, "too large"},
        {{"encode", out, dir / "short.rgb", "--pix", "rgb24", "--size", "8x4", "--rate", "25"},
         "frame 1 is truncated: 7 of 96 bytes"},
        {{"encode", out, y4m, "--audio", dir / "nine.wav"}, "9 channels are not supported"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        const CliOutcome r = RunIohost(args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Has(r.err, message)) << r.err;
        // A first frame that is already bad leaves nothing; a later one keeps what came before.
        EXPECT_EQ(std::filesystem::exists(out), Has(message, "frame 1")) << r.err;
        std::filesystem::remove(out);
    }
}

// -y never truncates: the old file stays whole unless the new one is complete, and a file that
// another program holds is not touched at all.
TEST_F(CliEncodeTest, OverwritingReplacesOnlyWithACompleteFile) {
    namespace fs = std::filesystem;
    const std::string src = WriteSource(dir, "src.y4m", "yuv422p", 8, 4, 3);
    const std::string whole = ReadFile(src);
    WriteFile(dir / "cut.y4m", whole.substr(0, whole.size() - 5));
    const std::string old = dir / "old.avi";
    WriteFile(old, "not to be lost");
    const auto others = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path))
            if (entry.path().extension() == ".part") names.push_back(entry.path().string());
        return names;
    };

    {
        fileio::PlatformFile holder;
        ASSERT_TRUE(holder.open(old.c_str(), fileio::File::Read));
        const CliOutcome held = RunIohost({"encode", old, src, "-y"});
        EXPECT_EQ(held.status, 1);
        EXPECT_TRUE(Has(held.err, "'" + old + "' is in use by another program")) << held.err;
    }
    const CliOutcome cut = RunIohost({"encode", old, dir / "cut.y4m", "-y", "-q"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Has(cut.err, "'" + old + "' was left as it was")) << cut.err;
    EXPECT_EQ(ReadFile(old), "not to be lost");
    const std::vector<std::string> kept = others();  // the cut-short export, beside it
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(Has(cut.err, "kept '" + kept[0] + "': 2 frames")) << cut.err;
    EXPECT_EQ(RunIohost({"inspect", kept[0]}).status, 0);
    fs::remove(kept[0]);

    ASSERT_EQ(RunIohost({"encode", old, src, "-y", "-q"}).status, 0);
    EXPECT_EQ(RunIohost({"decode", old, "--verify", src, "-q"}).status, 0);
    EXPECT_TRUE(others().empty());
#ifndef _WIN32
    // Through a link the file it points to is replaced; the link stays.
    fs::create_symlink("old.avi", dir.path / "link.avi");
    ASSERT_EQ(RunIohost({"encode", dir / "link.avi", dir / "cut.y4m", "-y", "-q"}).status, 1);
    EXPECT_EQ(others().size(), 1u);
    ASSERT_EQ(RunIohost({"encode", dir / "link.avi", "--pattern", "--size", "8x4", "--frames", "1",
                         "-y", "-q"})
                  .status,
              0);
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.avi"));
    EXPECT_EQ(avireader::readAvi(old).chunks.size(), 1u);
#endif
}

#ifndef _WIN32
// A stop request is honoured while the input pipe is stalled, whatever the signal: the frames read
// are kept in a finished file and the exit status says which signal it was.
TEST_F(CliEncodeTest, SignalsStopAStalledPipeWithAFinishedFile) {
    const std::string src = ReadFile(WriteSource(dir, "src.y4m", "yuv422p", 64, 48, 2));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string out = dir / ("out" + std::to_string(signal) + ".avi");
        SCOPED_TRACE(out);
        int in[2], err[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(err), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(in[0], 0);
            dup2(err[1], 2);
            close(in[1]);
            close(err[0]);
            execl("./iohost", "iohost", "encode", out.c_str(), "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(err[1]);
        ASSERT_EQ(write(in[1], src.data(), src.size()), static_cast<ssize_t>(src.size()));
        // The upstream stalls, holding the pipe open: the two frames reach the file, then nothing.
        const auto grown = [&] {
            std::error_code ec;
            return std::filesystem::file_size(out, ec);
        };
        uintmax_t last = 0;
        for (int still = 0; still < 30; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
            still = grown() > 0 && grown() == last ? still + 1 : (last = grown(), 0);
        const auto sent = std::chrono::steady_clock::now();
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        const auto waited = std::chrono::steady_clock::now() - sent;
        close(in[1]);
        std::string messages(4096, '\0');
        messages.resize(
            static_cast<size_t>(std::max<ssize_t>(0, read(err[0], messages.data(), 4096))));
        close(err[0]);

        ASSERT_TRUE(WIFEXITED(status)) << messages;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << messages;
        EXPECT_LT(waited, std::chrono::seconds(3));
        EXPECT_TRUE(Has(messages, std::string("stopped by SIG"))) << messages;
        EXPECT_TRUE(Has(messages, "2 frames")) << messages;
        EXPECT_EQ(avireader::readAvi(out).chunks.size(), 2u);
        EXPECT_EQ(RunIohost({"inspect", out}).status, 0);
    }
}
#endif

}  // namespace
}  // namespace iohost_test
