// Files from an independent writer: the reader must take them apart and the checker must find
// nothing wrong beyond warnings. ffmpeg only writes OpenDML indexes once the first segment is full,
// so one case writes a little over 1 GiB (uniform frames, a couple of seconds).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/avi_reader/avi_checker.h"
#include "platform/avi_reader/avi_parser.h"
#include "platform/avi_reader/fourcc.h"
#include "tests/avi_reader/temp_path.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kNull = "nul";
#else
constexpr const char* kNull = "/dev/null";
#endif

bool haveFfmpeg() {
    static const bool found =
        std::system((std::string("ffmpeg -version >") + kNull + " 2>&1").c_str()) == 0;
    return found;
}

class FfmpegFile {
public:
    FfmpegFile(const std::string& name, const std::string& arguments)
        : m_path(avitest::uniqueTempPath(name)) {
        const std::string command =
            "ffmpeg -v error -y " + arguments + " \"" + m_path.string() + "\" >" + kNull + " 2>&1";
        m_made = std::system(command.c_str()) == 0;
    }
    ~FfmpegFile() {
        std::error_code ignored;
        fs::remove(m_path, ignored);
    }
    bool made() const { return m_made; }
    std::string path() const { return m_path.string(); }

    // The peer's own count of the packets of the first stream of a kind ("v" or "a").
    long probePackets(const char* kind) const {
        const fs::path out = m_path.string() + ".count";
        const std::string command = std::string("ffprobe -v error -select_streams ") + kind +
                                    ":0 -count_packets -show_entries stream=nb_read_packets "
                                    "-of csv=p=0 \"" +
                                    m_path.string() + "\" >\"" + out.string() + "\"";
        long count = -1;
        if (std::system(command.c_str()) == 0) std::ifstream(out) >> count;
        std::error_code ignored;
        fs::remove(out, ignored);
        return count;
    }

private:
    fs::path m_path;
    bool m_made = false;
};

std::string errorsOf(const std::vector<avireader::Problem>& problems) {
    std::string all;
    for (const auto& p : problems) all += toString(p) + "\n";
    return all;
}

size_t chunksOf(const avireader::AviFile& avi, int stream) {
    size_t n = 0;
    for (const auto& c : avi.chunks) n += c.stream == stream;
    return n;
}

TEST(FfmpegFiles, AviWithRawVideoAndPcm) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const FfmpegFile file("avi_reader_ffmpeg_small.avi",
                          "-f lavfi -i testsrc2=size=64x48:rate=25 -f lavfi -i "
                          "sine=sample_rate=44100 -t 2 -c:v rawvideo -c:a pcm_s16le");
    ASSERT_TRUE(file.made());
    const auto avi = avireader::readAvi(file.path());
    const auto problems = avireader::checkAvi(avi);
    EXPECT_FALSE(avireader::hasErrors(problems)) << errorsOf(problems);
    ASSERT_EQ(avi.streams.size(), 2u);
    ASSERT_TRUE(avi.streams[0].video && avi.streams[1].audio);
    EXPECT_EQ(avi.streams[0].video->width, 64);
    EXPECT_EQ(avi.streams[1].audio->samplesPerSec, 44100u);
    EXPECT_EQ(long(chunksOf(avi, 0)), file.probePackets("v"));
    EXPECT_EQ(long(chunksOf(avi, 1)), file.probePackets("a"));
    EXPECT_EQ(chunksOf(avi, 0), 50u);
}

TEST(FfmpegFiles, ExtensibleSixChannelAudio) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const FfmpegFile file("avi_reader_ffmpeg_51.avi",
                          "-f lavfi -i sine=sample_rate=48000 -t 1 -ac 6 -c:a pcm_s24le");
    ASSERT_TRUE(file.made());
    const auto avi = avireader::readAvi(file.path());
    const auto problems = avireader::checkAvi(avi);
    EXPECT_FALSE(avireader::hasErrors(problems)) << errorsOf(problems);
    ASSERT_EQ(avi.streams.size(), 1u);
    ASSERT_TRUE(avi.streams[0].audio);
    const auto& a = *avi.streams[0].audio;
    EXPECT_TRUE(a.extensible);
    EXPECT_EQ(a.channels, 6);
    EXPECT_EQ(a.validBitsPerSample, 24);
    EXPECT_EQ(a.blockAlign, 18);
    EXPECT_EQ(a.subFormat[0], 1);  // integer PCM
    EXPECT_EQ(long(chunksOf(avi, 0)), file.probePackets("a"));
}

TEST(FfmpegFiles, OpenDmlFileAboveOneGigabyte) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const FfmpegFile file("avi_reader_ffmpeg_odml.avi",
                          "-f lavfi -i color=c=blue:size=1280x720:rate=25 -f lavfi -i "
                          "sine=sample_rate=48000 -frames:v 400 -shortest -c:v rawvideo "
                          "-pix_fmt bgr24 -c:a pcm_s16le");
    ASSERT_TRUE(file.made());
    const auto avi = avireader::readAvi(file.path());
    const auto problems = avireader::checkAvi(avi);
    EXPECT_FALSE(avireader::hasErrors(problems)) << errorsOf(problems);
    ASSERT_GE(avi.segments.size(), 2u);
    EXPECT_EQ(avi.segments[1].form, avireader::fourcc("AVIX"));
    for (const auto& stream : avi.streams) {
        ASSERT_TRUE(stream.superIndex);
        EXPECT_EQ(stream.superIndex->entries.size(), avi.segments.size());
    }
    EXPECT_EQ(avi.odmlTotalFrames, 400u);
    EXPECT_EQ(chunksOf(avi, 0), 400u);
    EXPECT_LT(avi.mainHeader->totalFrames, 400u);
}

}  // namespace
