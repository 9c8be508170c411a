// Whole files written through the module: one video track fed by the real encoder from its
// callback, and three audio tracks. The header records are compared byte for byte with golden
// values, every payload with what was handed in, the indexes by the independent reader, and the
// file as a whole by ffprobe and mediainfo where they are installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/container/container_fixture.h"

namespace container_test {
namespace {

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;
constexpr uint32_t kFrames = 12;

struct AudioTrackCase {
    const char* what;
    iohost::AudioTrackSettings settings;
    uint16_t blockAlign;
    std::vector<uint8_t> strf;
    const char* ffprobeCodec;
};

std::vector<AudioTrackCase> ThreeAudioTracks() {
    iohost::AudioTrackSettings pcm16;
    pcm16.samplingRate = 48000;
    pcm16.numChannels = 2;
    pcm16.sampleBits = 16;
    pcm16.audLayout = 2;
    iohost::AudioTrackSettings pcm24 = pcm16;
    pcm24.numChannels = 6;
    pcm24.sampleBits = 24;
    pcm24.audLayout = 3;
    iohost::AudioTrackSettings float32 = pcm16;
    float32.samplingRate = 44100;
    float32.sampleBits = 32;
    float32.isFloat = true;
    return {
        {"PCM 16-bit stereo", pcm16, 4,
         Golden().u16s({1, 2}).u32s({48000, 192000}).u16s({4, 16}).data, "pcm_s16le"},
        {"PCM 24-bit 5.1", pcm24, 18,
         Golden()
             .u16s({0xFFFE, 6})
             .u32s({48000, 864000})
             .u16s({18, 24, 22, 24})
             .u32(0x3F)
             .bytes(SubFormat(1))
             .data,
         "pcm_s24le"},
        {"float stereo", float32, 8, Golden().u16s({3, 2}).u32s({44100, 352800}).u16s({8, 32}).data,
         "pcm_f32le"},
    };
}

// Sample frames of the audio packet that goes with video frame i.
uint32_t AudioFrames(uint32_t sampleRate, uint32_t i) {
    return sampleRate == 44100 ? 1470 + i % 3 : 1601 + i % 2;
}

class ContainerFileTest : public ContainerTest {
protected:
    struct Written {
        std::vector<std::vector<uint8_t>> video;
        std::vector<uint8_t> cookie;
        uint32_t fourcc = 0;
        std::vector<std::vector<std::vector<uint8_t>>> audio;  // per track, per packet
        std::vector<uint32_t> audioLength;                     // per track, in sample frames
    };

    // Video at 30000/1001 with the three audio tracks, one audio packet per track after each frame.
    Written writeFourTrackFile(iohost::Container& container, const std::string& file,
                               uint32_t frames = kFrames) {
        Written out;
        VideoSource video(driver(), kWidth, kHeight, 30000, 1001);
        iohost::Track videoTrack;
        EXPECT_EQ(container.addVideoTrack(video.trackSettings(), videoTrack), errNone);
        const auto cases = ThreeAudioTracks();
        std::vector<iohost::Track> audioTracks(cases.size());
        for (size_t k = 0; k < cases.size(); ++k) {
            EXPECT_EQ(container.addAudioTrack(cases[k].settings, audioTracks[k]), errNone);
        }
        out.audio.resize(cases.size());
        out.audioLength.resize(cases.size());
        EXPECT_EQ(container.open(file), errNone);
        for (uint32_t i = 0; i < frames; ++i) {
            EXPECT_EQ(video.encode(i, videoTrack), errNone);
            for (size_t k = 0; k < cases.size(); ++k) {
                const uint32_t count = AudioFrames(cases[k].settings.samplingRate, i);
                auto packet = AudioPacket(count, cases[k].blockAlign, i * 4 + k);
                EXPECT_EQ(audioTracks[k].write(packet, count), errNone);
                out.audio[k].push_back(std::move(packet));
                out.audioLength[k] += count;
            }
        }
        EXPECT_EQ(container.close(), errNone);
        out.video = video.packets();
        out.cookie = video.cookie();
        out.fourcc = video.fourcc();
        return out;
    }
};

size_t LargestPayload(const std::vector<std::vector<uint8_t>>& packets) {
    size_t largest = 0;
    for (const auto& p : packets) largest = std::max(largest, p.size());
    return largest;
}

TEST_F(ContainerFileTest, VideoAndThreeAudioTracksAreWrittenAsDescribed) {
    auto container = newContainer();
    const Written in = writeFourTrackFile(container, path("four.avi"));
    EXPECT_TRUE(host().log().entries().empty()) << logTexts()[0];
    ASSERT_EQ(in.video.size(), kFrames);
    ASSERT_FALSE(in.cookie.empty());

    const WrittenAvi file = ReadWritten(path("four.avi"));
    EXPECT_EQ(Problems(file.avi), "");

    // Largest chunk on disk, header and pad byte included.
    uint32_t largestChunk = 0;
    auto consider = [&](const std::vector<std::vector<uint8_t>>& packets) {
        for (const auto& p : packets) {
            largestChunk =
                std::max(largestChunk, static_cast<uint32_t>(p.size() + 8 + p.size() % 2));
        }
    };
    consider(in.video);
    for (const auto& packets : in.audio) consider(packets);

    // dwMicroSecPerFrame, dwMaxBytesPerSec, dwPaddingGranularity, dwFlags (AVIF_HASINDEX),
    // dwTotalFrames, dwInitialFrames, dwStreams, dwSuggestedBufferSize, dwWidth, dwHeight,
    // reserved.
    const Golden avih = Golden().u32s(
        {33366, 0, 0, 0x10, kFrames, 0, 4, largestChunk, kWidth, kHeight, 0, 0, 0, 0});
    EXPECT_EQ(FirstDifference(avih.data, file.headerPayload("avih")), "");

    // Type and handler; dwFlags, wPriority and wLanguage, dwInitialFrames, dwScale, dwRate,
    // dwStart, dwLength, dwSuggestedBufferSize, dwQuality, dwSampleSize; rcFrame.
    const auto largestVideo = static_cast<uint32_t>(LargestPayload(in.video));
    const Golden videoStrh = Golden()
                                 .fourcc("vids")
                                 .fourcc("P8RG")
                                 .u32s({0, 0, 0, 1001, 30000, 0, kFrames, largestVideo, 10000, 0})
                                 .u16s({0, 0, kWidth, kHeight});
    EXPECT_EQ(FirstDifference(videoStrh.data, file.headerPayload("strh", 0)), "");

    // BITMAPINFOHEADER with biSize counting the cookie, then the cookie itself.
    const Golden videoStrf =
        Golden()
            .u32s({40 + static_cast<uint32_t>(in.cookie.size()), kWidth, kHeight})
            .u16s({1, 24})
            .fourcc("P8RG")
            .u32s({24 * kWidth * kHeight / 8, 0, 0, 0, 0})
            .bytes(in.cookie);
    EXPECT_EQ(FirstDifference(videoStrf.data, file.headerPayload("strf", 0)), "");

    const auto cases = ThreeAudioTracks();
    for (size_t k = 0; k < cases.size(); ++k) {
        const int stream = static_cast<int>(k + 1);
        const uint32_t block = cases[k].blockAlign;
        const auto largest = static_cast<uint32_t>(LargestPayload(in.audio[k]));
        const Golden strh =
            Golden().fourcc("auds").u32s({0, 0, 0, 0, block, block * cases[k].settings.samplingRate,
                                          0, in.audioLength[k], largest, 10000, block, 0, 0});
        EXPECT_EQ(FirstDifference(strh.data, file.headerPayload("strh", stream)), "")
            << cases[k].what;
        EXPECT_EQ(FirstDifference(cases[k].strf, file.headerPayload("strf", stream)), "")
            << cases[k].what;
        EXPECT_EQ(file.streamPayloads(stream), in.audio[k]) << cases[k].what;
    }

    EXPECT_EQ(file.streamPayloads(0), in.video) << "video chunks are the encoder's packets";
    EXPECT_EQ(file.avi.odmlTotalFrames, kFrames);

    // Every video chunk is a key frame, no audio chunk is.
    ASSERT_TRUE(file.avi.oldIndex.has_value());
    EXPECT_EQ(file.avi.oldIndex->entries.size(), kFrames * 4);
    for (const auto& entry : file.avi.oldIndex->entries) {
        const bool video = entry.chunkId == avireader::fourcc("00dc");
        EXPECT_EQ(entry.flags, video ? 0x10u : 0u);
    }
}

TEST_F(ContainerFileTest, OneContainerWritesSeveralFilesInTurn) {
    auto container = newContainer();
    const Written first = writeFourTrackFile(container, path("first.avi"), 5);

    // The second file has its own tracks: one video track and one audio track.
    VideoSource video(driver(), 32, 16);
    iohost::Track videoTrack;
    iohost::Track audioTrack;
    ASSERT_EQ(container.addVideoTrack(video.trackSettings(), videoTrack), errNone);
    ASSERT_EQ(container.addAudioTrack(ThreeAudioTracks()[0].settings, audioTrack), errNone);
    ASSERT_EQ(container.open(path("second.avi")), errNone);
    std::vector<std::vector<uint8_t>> audio;
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(video.encode(i, videoTrack), errNone);
        audio.push_back(AudioPacket(1920, 4, i));
        ASSERT_EQ(audioTrack.write(audio.back(), 1920), errNone);
    }
    ASSERT_EQ(container.close(), errNone);
    EXPECT_TRUE(host().log().entries().empty());

    const WrittenAvi one = ReadWritten(path("first.avi"));
    EXPECT_EQ(Problems(one.avi), "");
    EXPECT_EQ(one.streamCount(), 4u);
    EXPECT_EQ(one.streamPayloads(0), first.video);
    EXPECT_EQ(one.streamPayloads(3), first.audio[2]);

    const WrittenAvi two = ReadWritten(path("second.avi"));
    EXPECT_EQ(Problems(two.avi), "");
    EXPECT_EQ(two.streamCount(), 2u);
    ASSERT_TRUE(two.avi.mainHeader.has_value());
    EXPECT_EQ(two.avi.mainHeader->microSecPerFrame, 40000u);
    EXPECT_EQ(two.avi.mainHeader->width, 32u);
    EXPECT_EQ(two.avi.mainHeader->totalFrames, 3u);
    EXPECT_EQ(two.streamPayloads(0), video.packets());
    EXPECT_EQ(two.streamPayloads(1), audio);
}

TEST_F(ContainerFileTest, TheUtf8PathNamesTheFile) {
    const std::u8string name = u8"vid\u00e9o-\u30d5\u30a1\u30a4\u30eb.avi";
    auto container = newContainer();
    iohost::Track audio;
    ASSERT_EQ(container.addAudioTrack(ThreeAudioTracks()[0].settings, audio), errNone);
    ASSERT_EQ(container.open(m_dir.file(name)), errNone);
    ASSERT_EQ(audio.write(AudioPacket(16, 4, 0), 16), errNone);
    ASSERT_EQ(container.close(), errNone);
    ASSERT_TRUE(std::filesystem::exists(m_dir.path / name));
    EXPECT_EQ(Problems(ReadWritten(m_dir.file(name)).avi), "");
}

// --- peers -----------------------------------------------------------------------------------

#if !defined(_WIN32)
bool ToolInstalled(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string RunCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// "key=value" lines, one map per stream (each stream's block starts with "index=").
std::vector<std::map<std::string, std::string>> FfprobeStreams(const std::string& file) {
    const std::string text = RunCommand(
        "ffprobe -v error -show_entries "
        "stream=index,codec_type,codec_name,codec_tag_string,width,height,r_frame_rate,"
        "sample_rate,channels,channel_layout,nb_frames -of default=noprint_wrappers=1 '" +
        file + "'");
    std::vector<std::map<std::string, std::string>> streams;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        if (key == "index") streams.emplace_back();
        if (!streams.empty()) streams.back()[key] = line.substr(eq + 1);
    }
    return streams;
}

size_t TotalBytes(const std::vector<std::vector<uint8_t>>& packets) {
    size_t total = 0;
    for (const auto& p : packets) total += p.size();
    return total;
}

// Per stream: the packets ffprobe reads and their bytes. It may cut a long PCM chunk into
// several packets, so only video counts packets one to one.
struct PacketTotals {
    size_t packets = 0;
    size_t bytes = 0;
};

std::map<int, PacketTotals> FfprobePackets(const std::string& file) {
    std::istringstream lines(RunCommand(
        "ffprobe -v error -show_entries packet=stream_index,size -of csv=p=0 '" + file + "'"));
    std::map<int, PacketTotals> totals;
    std::string line;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        PacketTotals& t = totals[std::stoi(line.substr(0, comma))];
        ++t.packets;
        t.bytes += std::stoul(line.substr(comma + 1));
    }
    return totals;
}
#endif

TEST_F(ContainerFileTest, FfprobeReadsEveryStream) {
#if defined(_WIN32)
    GTEST_SKIP() << "ffprobe is not run from the Windows build";
#else
    if (!ToolInstalled("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    auto container = newContainer();
    const Written in = writeFourTrackFile(container, path("peer.avi"));
    const auto streams = FfprobeStreams(path("peer.avi"));
    ASSERT_EQ(streams.size(), 4u);
    EXPECT_EQ(streams[0].at("codec_type"), "video");
    EXPECT_EQ(streams[0].at("codec_tag_string"), "P8RG");
    EXPECT_EQ(streams[0].at("width"), std::to_string(kWidth));
    EXPECT_EQ(streams[0].at("height"), std::to_string(kHeight));
    EXPECT_EQ(streams[0].at("r_frame_rate"), "30000/1001");
    EXPECT_EQ(streams[0].at("nb_frames"), std::to_string(kFrames));
    const auto cases = ThreeAudioTracks();
    for (size_t k = 0; k < cases.size(); ++k) {
        const auto& s = streams[k + 1];
        EXPECT_EQ(s.at("codec_type"), "audio") << cases[k].what;
        EXPECT_EQ(s.at("codec_name"), cases[k].ffprobeCodec) << cases[k].what;
        EXPECT_EQ(s.at("sample_rate"), std::to_string(cases[k].settings.samplingRate));
        EXPECT_EQ(s.at("channels"), std::to_string(cases[k].settings.numChannels));
        EXPECT_EQ(s.at("nb_frames"), std::to_string(in.audioLength[k])) << cases[k].what;
    }
    EXPECT_EQ(streams[2].at("channel_layout"), "5.1") << "the mask of audLayout 3";

    const auto packets = FfprobePackets(path("peer.avi"));
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets.at(0).packets, kFrames);
    EXPECT_EQ(packets.at(0).bytes, TotalBytes(in.video));
    for (size_t k = 0; k < cases.size(); ++k) {
        EXPECT_EQ(packets.at(static_cast<int>(k + 1)).bytes, TotalBytes(in.audio[k]))
            << cases[k].what;
    }
#endif
}

TEST_F(ContainerFileTest, MediainfoReadsEveryStream) {
#if defined(_WIN32)
    GTEST_SKIP() << "mediainfo is not run from the Windows build";
#else
    if (!ToolInstalled("mediainfo")) GTEST_SKIP() << "mediainfo is not installed";
    auto container = newContainer();
    (void)writeFourTrackFile(container, path("peer.avi"));
    const std::string file = "'" + path("peer.avi") + "'";
    EXPECT_EQ(
        RunCommand(
            "mediainfo --Inform='Video;%CodecID%,%Width%,%Height%,%FrameRate%,%FrameCount%' " +
            file),
        "P8RG,64,48,29.970,12\n");
    EXPECT_EQ(
        RunCommand(
            "mediainfo "
            "--Inform='Audio;%Format%,%Channel(s)%,%SamplingRate%,%BitDepth%,%ChannelLayout%|' " +
            file),
        "PCM,2,48000,16,|PCM,6,48000,24,L R C LFE Lb Rb|PCM,2,44100,32,|\n");
#endif
}

}  // namespace
}  // namespace container_test
