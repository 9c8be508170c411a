// End to end with ffmpeg as the peer: clips ffmpeg makes (testsrc2 and a noisy one) go through
// the real iohost executable, through a pipe where ffmpeg users would use one, decode back equal
// frame by frame by ffmpeg's own framemd5, keep their audio bit-exact, and read cleanly in ffprobe
// and mediainfo. Skipped where ffmpeg is not installed (Windows under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/iohost/plugin_module.h"
#include "tests/iohost/cli_test_support.h"

namespace iohost_test {
namespace {

struct ShellResult {
    int status;
    std::string output;
};

ShellResult Shell(const std::string& command) {
    ShellResult r{-1, {}};
#ifndef _WIN32
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        r.output.append(buffer, n);
    r.status = pclose(pipe);
#else
    (void)command;
#endif
    return r;
}

bool HaveTool(const char* tool) {
#ifdef _WIN32
    (void)tool;
    return false;
#else
    return Shell(std::string(tool) + " -version >/dev/null").status == 0;
#endif
}

// framemd5 lines without the comment header, which names the file.
std::string FrameMd5(const std::string& input) {
    const ShellResult r = Shell("ffmpeg -v error " + input + " -f framemd5 - | grep -v '^#'");
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
}

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

class FfmpegRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg is not installed";
        m_iohost = Quote(iohost::PathNextToExecutable("iohost"));
    }
    std::string m_iohost;
    ScratchDir dir;
};

TEST_F(FfmpegRoundTrip, ClipsDecodeToTheirSourceFrames) {
    struct Case {
        const char* pixfmt;
        const char* fourcc;
        bool raw;  // RGB goes as raw frames, the rest as YUV4MPEG2
    } cases[] = {
        {"yuv420p", "P8Y0", false}, {"yuv422p", "P8Y2", false},     {"yuv444p", "P8Y4", false},
        {"gray", "P8G0", false},    {"yuv422p10le", "P0Y2", false}, {"rgb24", "P8RG", true},
    };
    const char* sources[] = {"testsrc2=size=160x120:rate=25",
                             "testsrc2=size=162x122:rate=30000/1001,noise=alls=80:allf=t+u"};
    const std::string wav = dir / "tone.wav";
    ASSERT_EQ(Shell("ffmpeg -v error -f lavfi -i sine=f=500:r=48000:d=0.5 -ac 2 -c:a pcm_s16le " +
                    Quote(wav))
                  .status,
              0);
    for (const char* lavfi : sources) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.pixfmt) + " from " + lavfi);
            const std::string src = dir / (std::string("src.") + (c.raw ? "rgb" : "y4m"));
            const std::string avi = dir / "out.avi";
            const std::string back = dir / (std::string("back.") + (c.raw ? "rgb" : "y4m"));
            const std::string make = "ffmpeg -v error -y -f lavfi -i " + std::string(lavfi) +
                                     " -frames:v 10 -pix_fmt " + c.pixfmt + " -strict -1 -f " +
                                     (c.raw ? "rawvideo " : "yuv4mpegpipe ");
            ShellResult r;
            const bool noisy = std::string(lavfi).find("noise") != std::string::npos;
            const std::string size = noisy ? "162x122" : "160x120";
            if (c.raw) {
                ASSERT_EQ(Shell(make + Quote(src)).status, 0);
                r = Shell(m_iohost + " encode " + Quote(avi) + " " + Quote(src) + " --pix " +
                          c.pixfmt + " --size " + size + " --rate " +
                          (noisy ? "30000/1001" : "25") + " --audio " + Quote(wav));
            } else {
                ASSERT_EQ(Shell(make + Quote(src)).status, 0);
                // Through a pipe, as the README shows it.
                r = Shell(make + "- | " + m_iohost + " encode " + Quote(avi) + " - --audio " +
                          Quote(wav));
            }
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_NE(r.output.find(std::string("(") + c.fourcc + ")"), std::string::npos)
                << r.output;

            r = Shell(m_iohost + " decode " + Quote(avi) + " -o " + Quote(back) + " --verify " +
                      Quote(src));
            ASSERT_EQ(r.status, 0) << r.output;
            const std::string rawIn =
                c.raw ? std::string("-f rawvideo -pix_fmt ") + c.pixfmt + " -s " + size + " -i "
                      : "-i ";
            const std::string expected = FrameMd5(rawIn + Quote(src));
            EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 10);
            EXPECT_EQ(FrameMd5(rawIn + Quote(back)), expected);

            // The audio in the AVI is the WAV's, sample for sample.
            const ShellResult inAvi =
                Shell("ffmpeg -v error -i " + Quote(avi) + " -map 0:a -c:a copy -f md5 -");
            const ShellResult inWav =
                Shell("ffmpeg -v error -i " + Quote(wav) + " -map 0:a -c:a copy -f md5 -");
            EXPECT_EQ(inAvi.output, inWav.output);

            // Peers read the file: ffprobe counts the packets, mediainfo names the codec.
            r = Shell(
                "ffprobe -v error -count_packets -show_entries "
                "stream=codec_tag_string,nb_read_packets,width -of csv=p=0 " +
                Quote(avi));
            EXPECT_EQ(r.status, 0);
            EXPECT_NE(r.output.find(std::string(c.fourcc) + "," + size.substr(0, 3) + ",10"),
                      std::string::npos)
                << r.output;
            if (!noisy && HaveTool("mediainfo")) {
                r = Shell("mediainfo " + Quote(avi));
                EXPECT_NE(r.output.find(c.fourcc), std::string::npos) << r.output;
                EXPECT_NE(r.output.find("PCM"), std::string::npos);
            }
            r = Shell(m_iohost + " inspect " + Quote(avi));
            EXPECT_EQ(r.status, 0) << r.output;
            EXPECT_NE(r.output.find(std::string("video ") + c.fourcc), std::string::npos);
            EXPECT_NE(r.output.find(", 10 frames"), std::string::npos);
        }
    }
}

TEST_F(FfmpegRoundTrip, ATruncatedPipeFailsAndRemovesTheFile) {
    const std::string avi = dir / "cut.avi";
    const ShellResult r = Shell(
        "ffmpeg -v error -f lavfi -i testsrc2=size=64x48 -frames:v 3 -pix_fmt yuv420p -f "
        "yuv4mpegpipe - | head -c 5000 | " +
        m_iohost + " encode " + Quote(avi) + " - --no-audio");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("is truncated"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(avi));
}

}  // namespace
}  // namespace iohost_test
