// A real disk-full: a three-segment file written through the loaded module under a file-size
// limit (RLIMIT_FSIZE with SIGXFSZ ignored, so write() comes back short), then read back with the
// independent AVI reader. Cut points: inside the first segment, around the first rollover, inside
// the second segment, around the second rollover, and during the finalisation of a whole file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>

#include "platform/avi_reader/avi_reader.h"
#include "tests/reliability/sweep_fixture.h"

namespace reliability {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;
constexpr uint32_t kPairs = 800;  // about 3.2 GiB: three RIFF segments
// Odd video chunks, all padded; 16-bit stereo audio of 16384 sample frames.
constexpr std::array<uint32_t, 2> kBytes = {4 * kMiB + 7, 64 * 1024};

// Different bytes for every packet, so that a chunk read back can be matched to its packet.
std::vector<uint8_t> Packet(uint32_t stream, uint32_t index) {
    return PatternBytes(kBytes[stream], index * 2 + stream);
}

// 0 lifts the limit. SIGXFSZ is ignored while a limit holds, so that writes come back short.
bool LimitFileSize(uint64_t limit) {
    signal(SIGXFSZ, limit == 0 ? SIG_DFL : SIG_IGN);
    const rlimit cap{limit == 0 ? RLIM_INFINITY : limit, RLIM_INFINITY};
    return setrlimit(RLIMIT_FSIZE, &cap) == 0;
}

struct CutPoint {
    const char* name;
    uint64_t limit;  // 0: the whole file is written, and finalisation runs out of space
};

class DiskFullTest : public ModuleSuite, public ::testing::WithParamInterface<CutPoint> {};

TEST_P(DiskFullTest, HostGetsTheMessageAndCompleteChunksSurvive) {
    const CutPoint cut = GetParam();
    const struct Lift {
        ~Lift() { (void)LimitFileSize(0); }
    } lift;
    const std::string file = path("cut.avi");
    // Per stream, the packets answered errNone before the first failure.
    std::array<uint32_t, 2> acknowledged{};
    int32_t firstFailure = errNone;
    int32_t closeCode = errNone;
    {
        iohost::Container container;
        std::array<iohost::Track, 2> tracks;
        iohost::VideoTrackSettings video;
        video.width = 1024;
        video.height = 1024;
        video.fourcc = m_ids.rgbFourcc;
        ASSERT_EQ(driver().createContainer(m_ids.container, container), errNone);
        ASSERT_EQ(container.init(), errNone);
        ASSERT_EQ(container.addVideoTrack(video, tracks[0]), errNone);
        ASSERT_EQ(container.addAudioTrack({}, tracks[1]), errNone);
        ASSERT_EQ(container.open(file), errNone);
        ASSERT_TRUE(LimitFileSize(cut.limit));
        // Three pairs more are still passed on after the first failure; they fail as well.
        for (uint32_t i = 0, after = 0; i < kPairs && after < 3; ++i) {
            const int32_t v = tracks[0].write(Packet(0, i));
            const int32_t a = tracks[1].write(Packet(1, i), int64_t{kBytes[1] / 4});
            after += firstFailure != errNone;
            if (firstFailure != errNone) continue;
            acknowledged[0] += v == errNone;
            acknowledged[1] += v == errNone && a == errNone;
            firstFailure = v != errNone ? v : a;
        }
        if (cut.limit == 0) {
            ASSERT_TRUE(LimitFileSize(std::filesystem::file_size(file)));
        }
        closeCode = container.close();
    }
    ASSERT_TRUE(LimitFileSize(0));

    // Chunk failures, then one finalisation failure when contClose fails: after a failed rollover
    // the file may be closed cleanly at the last complete segment, with nothing left to fail.
    std::vector<std::string> texts;
    for (const auto& entry : host().log().entries()) texts.push_back(entry.text);
    EXPECT_TRUE(closeCode == errFail || closeCode == errNone) << closeCode;
    if (closeCode == errFail) {
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(),
                  "Parvolux Plugin :: Failed to finalize AVI: AviWriter::finalize: failed to "
                  "correctly finalize avi");
        texts.pop_back();
    }
    const std::string video = "Parvolux Plugin :: Failed to write AVI video chunk: ";
    const std::string audio = "Parvolux Plugin :: Failed to write AVI audio chunk: ";
    for (const auto& text : texts) {
        const bool chunkFailure = (text.starts_with(video) && text.size() > video.size()) ||
                                  (text.starts_with(audio) && text.size() > audio.size());
        EXPECT_TRUE(chunkFailure) << text;
    }
    EXPECT_EQ(texts.empty(), cut.limit == 0);
    EXPECT_EQ(firstFailure, cut.limit == 0 ? errNone : errFail);
    if (cut.limit == 0) {
        EXPECT_EQ(closeCode, errFail);
        EXPECT_EQ(acknowledged[0], kPairs);
    }

    // Every chunk that was written completely is still found, and holds its packet.
    const avireader::AviFile avi = avireader::readAvi(file);
    ASSERT_EQ(avi.streams.size(), 2u);
    std::ifstream in(file, std::ios::binary);
    for (uint32_t stream = 0; stream < 2; ++stream) {
        uint32_t complete = 0;
        for (const auto& chunk : avireader::chunksOfStream(avi, static_cast<int>(stream))) {
            // The chunk cut short by the limit ends the complete ones.
            if (chunk.offset + chunk.size > avi.fileSize || chunk.size != kBytes[stream]) break;
            std::vector<uint8_t> bytes(chunk.size);
            in.seekg(static_cast<std::streamoff>(chunk.offset));
            in.read(reinterpret_cast<char*>(bytes.data()),
                    static_cast<std::streamsize>(chunk.size));
            ASSERT_TRUE(bytes == Packet(stream, complete))
                << "stream " << stream << " #" << complete;
            ++complete;
        }
        EXPECT_GE(complete, acknowledged[stream]) << "stream " << stream;
    }
    // Every header patch was attempted: the headers count the frames even when the last segment
    // could not be closed.
    ASSERT_TRUE(avi.odmlTotalFrames.has_value() && avi.streams[0].header.has_value());
    EXPECT_GE(*avi.odmlTotalFrames, acknowledged[0]);
    EXPECT_GE(avi.streams[0].header->length, acknowledged[0]);
}

INSTANTIATE_TEST_SUITE_P(Cuts, DiskFullTest,
                         ::testing::Values(CutPoint{"InsideFirstSegment", 64 * kMiB + 3},
                                           CutPoint{"FirstRollover", kGiB - 2 * kMiB},
                                           CutPoint{"InsideSecondSegment", kGiB + kGiB / 2 + 11},
                                           CutPoint{"SecondRollover", 3 * kGiB - 2 * kMiB},
                                           CutPoint{"DuringFinalize", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace reliability
