// End to end with ffmpeg as the peer, through pipes where its users would use them (a stop
// request on a pipe is in cli_encode_test.cpp). Skipped where ffmpeg is not installed (Windows
// under Wine).
#include <algorithm>

#include "platform/iohost/module/plugin_module.h"
#include "tests/iohost/cli_test_support.h"
#include "tests/iohost/peer_tools.h"

namespace iohost_test {
namespace {

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

// ffmpeg's digest of an input, whole ("md5") or frame by frame ("framemd5", without the comment
// header, which names the file).
std::string Digest(const std::string& input, const std::string& format) {
    const ShellResult r = Shell("ffmpeg -v error " + input + " -f " + format + " - | grep -v '^#'");
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
}

class FfmpegRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        if (Shell("ffmpeg -version").status != 0) GTEST_SKIP() << "ffmpeg is not installed";
        m_iohost = Quote(iohost::PathNextToExecutable("iohost"));
    }
    std::string m_iohost;
    ScratchDir dir;
};

TEST_F(FfmpegRoundTrip, ClipsDecodeToTheirSourceFrames) {
    // Each codec family once; the in-process tests cover every layout and size. A noisy clip
    // leaves the entropy coder nothing to predict.
    const char* const testsrc = "testsrc2=size=160x120:rate=25";
    const char* const noise = "testsrc2=size=162x122:rate=30000/1001,noise=alls=80:allf=t+u";
    const struct {
        const char *pixfmt, *fourcc, *lavfi;
        bool raw;  // RGB goes as raw frames, the rest as YUV4MPEG2
    } cases[] = {
        {"yuv420p", "P8Y0", testsrc, false}, {"yuv422p10le", "P0Y2", noise, false},
        {"rgb24", "P8RG", noise, true},      {"gbrp10le", "P0RG", noise, true},
        {"gbrp12le", "P2RG", testsrc, true},
    };
    const std::string wav = dir / "tone.wav", avi = dir / "out.avi";
    const ShellResult tone = Shell(
        "ffmpeg -v error -f lavfi -i sine=f=500:r=48000:d=0.5 -ac 2 -c:a pcm_s16le " + Quote(wav));
    ASSERT_EQ(tone.status, 0) << tone.output;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pixfmt) + " from " + c.lavfi);
        const bool noisy = c.lavfi == noise;
        const std::string size = noisy ? "162x122" : "160x120";
        const std::string src = dir / (c.raw ? "src.rgb" : "src.y4m");
        const std::string make = "ffmpeg -v error -y -f lavfi -i " + std::string(c.lavfi) +
                                 " -frames:v 10 -pix_fmt " + c.pixfmt + " -strict -1 -f " +
                                 (c.raw ? "rawvideo " : "yuv4mpegpipe ");
        ASSERT_EQ(Shell(make + Quote(src)).status, 0);
        // YUV through a pipe, as the README shows it; raw RGB names its geometry.
        const std::string encode =
            c.raw ? m_iohost + " encode " + Quote(avi) + " " + Quote(src) + " --pix " + c.pixfmt +
                        " --size " + size + " --rate " + (noisy ? "29.97" : "25")
                  : make + "- | " + m_iohost + " encode " + Quote(avi) + " -";
        ShellResult r = Shell(encode + " -y --audio " + Quote(wav));
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(Has(r.output, std::string("(") + c.fourcc + ")")) << r.output;

        // The source to verify against comes through a pipe, read once.
        r = Shell("cat " + Quote(src) + " | " + m_iohost + " decode " + Quote(avi) + " --verify -" +
                  (c.raw ? std::string(" --pix ") + c.pixfmt : ""));
        ASSERT_EQ(r.status, 0) << r.output;
        const std::string in =
            c.raw ? std::string("-f rawvideo -pix_fmt ") + c.pixfmt + " -s " + size + " -i "
                  : "-i ";
        const std::string expected = Digest(in + Quote(src), "framemd5");
        EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 10);
        // The decoded frames straight into ffmpeg: nothing but frames on standard output.
        EXPECT_EQ(Shell(m_iohost + " decode -q " + Quote(avi) + " -o - | ffmpeg -v error " + in +
                            "- -f framemd5 - | grep -v '^#'",
                        false)
                      .output,
                  expected);
    }
    const std::string audio = " -map 0:a -c:a copy";
    EXPECT_EQ(Digest("-i " + Quote(avi) + audio, "md5"), Digest("-i " + Quote(wav) + audio, "md5"));
}

}  // namespace
}  // namespace iohost_test
