// A real file past 4 GiB (three RIFF segments and more), a video and an audio stream, in which two
// independent readers, ffprobe and mediainfo, must see every packet.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fileio/platform_file.h"
#include "tests/avi/avi_check.h"
#include "tests/support/temp_dir.h"

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    return out;
}

// 1024 sample frames of 16-bit stereo per chunk: ffprobe splits PCM chunks above 1024 samples into
// several packets.
TEST(AviLargeFile, PeersCountEveryPacketPastFourGiB) {
    constexpr int kFrames = 2800;
    constexpr size_t kAudioBytes = 1024 * 4;
    TempDir dir(std::filesystem::is_directory("/var/tmp") ? "/var/tmp"
                                                          : std::filesystem::temp_directory_path());
    if (std::filesystem::space(dir.path).available < (6ULL << 30)) {
        GTEST_SKIP() << "needs 6 GiB free in " << dir.path;
    }
    const std::string path = dir.file(u8"large.avi");
    {
        const std::vector<uint8_t> video(1600007, 0x5A), audio(kAudioBytes);
        fileio::PlatformFile file;
        ASSERT_TRUE(file.open(path.c_str(), fileio::File::Write));
        AviWriter w(file);
        addVideo(w);
        w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 2, 48000, 16, 3);
        w.writeHeader();
        for (int i = 0; i < kFrames; ++i) {
            w.writeChunk(0, video.data(), video.size() - static_cast<size_t>(i % 7), 1, true);
            w.writeChunk(1, audio.data(), kAudioBytes, 1024, false);
        }
        w.finalize();
    }
    ASSERT_GT(std::filesystem::file_size(dir.path / "large.avi"), 4ULL << 30);
    EXPECT_GE(checked(avireader::readAvi(path)).segments.size(), 3U);
    const std::string file = " '" + path + "'";
    const std::string frames = std::to_string(kFrames);
    EXPECT_EQ(run("ffprobe -v error -count_packets -show_entries stream=codec_type,nb_read_packets "
                  "-of csv=p=0" +
                  file + " 2>&1"),
              "video," + frames + "\naudio," + frames + "\n");
    EXPECT_EQ(run("mediainfo '--Inform=Video;%FrameCount%'" + file), frames + "\n");
    // mediainfo derives sample counts from a rounded duration; the stream size is exact.
    EXPECT_EQ(
        run("mediainfo '--Inform=Audio;%Format%|%Channel(s)%|%SamplingRate%|%StreamSize%'" + file),
        "PCM|2|48000|" + std::to_string(kFrames * kAudioBytes) + "\n");
    EXPECT_EQ(run("mediainfo '--Inform=General;%Format_Profile%'" + file), "OpenDML\n");
}

}  // namespace
