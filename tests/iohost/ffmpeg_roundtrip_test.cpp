// End to end with ffmpeg as the peer: clips ffmpeg makes (testsrc2 and a noisy one) go through
// the real iohost executable, through a pipe where ffmpeg users would use one, decode back equal
// frame by frame by ffmpeg's own framemd5, keep their audio bit-exact, and read cleanly in
// mediainfo. Skipped where ffmpeg is not installed (Windows under Wine).
#include <algorithm>
#include <cstdio>

#include "platform/iohost/plugin_module.h"
#include "tests/iohost/cli_test_support.h"

namespace iohost_test {
namespace {

struct ShellResult {
    int status = -1;
    std::string output;
};

ShellResult Shell(const std::string& command) {
    ShellResult r;
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
    const struct {
        const char *pixfmt, *fourcc;
        bool raw;  // RGB goes as raw frames, the rest as YUV4MPEG2
    } cases[] = {
        {"yuv420p", "P8Y0", false}, {"yuv422p", "P8Y2", false},     {"yuv444p", "P8Y4", false},
        {"gray", "P8G0", false},    {"yuv422p10le", "P0Y2", false}, {"rgb24", "P8RG", true},
    };
    const struct {
        const char *lavfi, *size, *rate;
    } sources[] = {
        {"testsrc2=size=160x120:rate=25", "160x120", "25"},
        {"testsrc2=size=162x122:rate=30000/1001,noise=alls=80:allf=t+u", "162x122", "30000/1001"}};
    const std::string wav = dir / "tone.wav", avi = dir / "out.avi";
    ASSERT_EQ(Shell("ffmpeg -v error -f lavfi -i sine=f=500:r=48000:d=0.5 -ac 2 -c:a pcm_s16le " +
                    Quote(wav))
                  .status,
              0);
    const bool mediainfo = Shell("mediainfo --version").status == 0;
    for (const auto& s : sources) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.pixfmt) + " from " + s.lavfi);
            const std::string src = dir / (c.raw ? "src.rgb" : "src.y4m");
            const std::string back = dir / (c.raw ? "back.rgb" : "back.y4m");
            const std::string make = "ffmpeg -v error -y -f lavfi -i " + std::string(s.lavfi) +
                                     " -frames:v 10 -pix_fmt " + c.pixfmt + " -strict -1 -f " +
                                     (c.raw ? "rawvideo " : "yuv4mpegpipe ");
            ASSERT_EQ(Shell(make + Quote(src)).status, 0);
            // YUV through a pipe, as the README shows it; raw RGB names its geometry.
            const std::string encode =
                c.raw ? m_iohost + " encode " + Quote(avi) + " " + Quote(src) + " --pix " +
                            c.pixfmt + " --size " + s.size + " --rate " + s.rate
                      : make + "- | " + m_iohost + " encode " + Quote(avi) + " -";
            ShellResult r = Shell(encode + " --audio " + Quote(wav));
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_TRUE(Has(r.output, std::string("(") + c.fourcc + ")")) << r.output;

            r = Shell(m_iohost + " decode " + Quote(avi) + " -o " + Quote(back) + " --verify " +
                      Quote(src));
            ASSERT_EQ(r.status, 0) << r.output;
            const std::string in =
                c.raw ? std::string("-f rawvideo -pix_fmt ") + c.pixfmt + " -s " + s.size + " -i "
                      : "-i ";
            const std::string expected = Digest(in + Quote(src), "framemd5");
            EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 10);
            EXPECT_EQ(Digest(in + Quote(back), "framemd5"), expected);
            const std::string audio = " -map 0:a -c:a copy";
            EXPECT_EQ(Digest("-i " + Quote(avi) + audio, "md5"),
                      Digest("-i " + Quote(wav) + audio, "md5"));
            // A peer reads the file: mediainfo names the codec and the audio.
            if (mediainfo && !Has(s.lavfi, "noise")) {
                r = Shell("mediainfo " + Quote(avi));
                EXPECT_TRUE(Has(r.output, c.fourcc) && Has(r.output, "PCM")) << r.output;
            }
        }
    }
}

}  // namespace
}  // namespace iohost_test
