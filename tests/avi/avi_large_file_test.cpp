// One real file past 4 GiB (three RIFF segments and more) with a video and an audio stream,
// written through the platform file and read back by two independent readers, ffprobe and
// mediainfo, which must see every packet.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "fileio/platform_file.h"
#include "tests/avi/avi_parse.h"
#include "tests/fileio/temp_dir.h"

namespace {

constexpr int kFrames = 2800;
// 1024 sample frames of 16-bit stereo: ffprobe splits PCM chunks above 1024 samples into
// several packets, so this keeps one packet per chunk.
constexpr uint32_t kAudioSamples = 1024;
constexpr size_t kAudioBytes = kAudioSamples * 4;

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    pclose(pipe);
    return out;
}

std::filesystem::path diskTemp() {
    const std::filesystem::path varTmp = "/var/tmp";
    return std::filesystem::is_directory(varTmp) ? varTmp : std::filesystem::temp_directory_path();
}

TEST(AviLargeFile, PeersCountEveryPacketPastFourGiB) {
    TempDir dir(diskTemp());
    if (std::filesystem::space(dir.path).available < (6ULL << 30)) {
        GTEST_SKIP() << "needs 6 GiB free in " << dir.path;
    }
    const std::string path = dir.file(u8"large.avi");
    std::vector<uint8_t> video(1600007);
    std::iota(video.begin(), video.end(), 0);
    std::vector<uint8_t> audio(kAudioBytes, 0);
    {
        fileio::PlatformFile file;
        ASSERT_TRUE(file.open(path.c_str(), fileio::File::Write));
        AviWriter w(file);
        AviStream& v = w.stream(w.addStream(fourCC("vids")));
        v.header.fccHandler = fourCC("P8RG");
        v.header.dwScale = 1;
        v.header.dwRate = 25;
        v.header.dwQuality = 10000;
        v.header.rcFrame = {0, 0, 640, 480};
        LittleEndianBuffer bih;  // BITMAPINFOHEADER
        for (const uint32_t field : {40U, 640U, 480U}) {
            bih.put32(field);
        }
        bih.put16(1);
        bih.put16(24);
        bih.putFourCC(fourCC("P8RG"));
        bih.put32(640 * 480 * 3);
        bih.putZeros(16);
        v.format = bih.take();
        w.mainHeader.dwMicroSecPerFrame = 40000;
        w.mainHeader.dwWidth = 640;
        w.mainHeader.dwHeight = 480;
        w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 2, 48000, 16, 3);
        w.writeHeader();
        for (int i = 0; i < kFrames; ++i) {
            w.writeChunk(0, video.data(), video.size() - static_cast<size_t>(i % 7), 1, true);
            w.writeChunk(1, audio.data(), audio.size(), kAudioSamples, false);
        }
        w.finalize();
    }
    const uint64_t size = std::filesystem::file_size(std::filesystem::path(dir.path / "large.avi"));
    ASSERT_GT(size, 4ULL << 30);

    std::ifstream in(dir.path / "large.avi", std::ios::binary);
    const ByteReader read = [&in](uint64_t offset, size_t count) {
        std::vector<uint8_t> bytes(count);
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
        return bytes;
    };
    const std::vector<Node> tree = parseTree(read, size);
    EXPECT_EQ(checkIndexes(read, tree), std::vector<std::string>{});
    EXPECT_GE(std::count_if(tree.begin(), tree.end(), [](const Node& n) { return n.depth == 0; }),
              3);

    const std::string quoted = "'" + path + "'";
    EXPECT_EQ(run("ffprobe -v error -count_packets -show_entries stream=codec_type,nb_read_packets "
                  "-of csv=p=0 " +
                  quoted + " 2>&1"),
              "video," + std::to_string(kFrames) + "\naudio," + std::to_string(kFrames) + "\n");
    EXPECT_EQ(run("mediainfo '--Inform=Video;%FrameCount%' " + quoted),
              std::to_string(kFrames) + "\n");
    // mediainfo derives sample counts from a rounded duration; the stream size is exact.
    const std::string audioInfo =
        "'--Inform=Audio;%Format%|%Channel(s)%|%SamplingRate%|%StreamSize%'";
    EXPECT_EQ(run("mediainfo " + audioInfo + " " + quoted),
              "PCM|2|48000|" + std::to_string(kFrames * kAudioBytes) + "\n");
    EXPECT_EQ(run("mediainfo '--Inform=General;%Format_Profile%' " + quoted), "OpenDML\n");
}

}  // namespace
