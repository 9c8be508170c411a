// A real disk-full: a three-segment file written through the loaded module by a child process
// under a file-size limit (RLIMIT_FSIZE with SIGXFSZ ignored, so write() comes back short), then
// read back with the independent AVI reader. The first segment ends below 1 GiB and the second
// below 3 GiB; the cuts fall in the headers, inside each segment, on both sides of each rollover,
// and in the finalisation of a whole file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>

#include "platform/avi_reader/avi_reader.h"
#include "tests/reliability/sweep_fixture.h"

namespace reliability {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;
constexpr uint32_t kPairs = 800;  // about 3.2 GiB: three RIFF segments
// Odd video chunks, all padded; 16-bit stereo audio of 16384 sample frames.
constexpr std::array<uint32_t, 2> kBytes = {4 * kMiB + 7, 64 * 1024};

// Every packet is its stream's pattern stamped at both ends with the stream and packet number,
// so that a chunk read back can be matched to its packet.
void StampPacket(uint8_t* bytes, uint32_t stream, uint32_t index) {
    const uint32_t stamp[2] = {stream, index};
    std::memcpy(bytes, stamp, sizeof stamp);
    std::memcpy(bytes + kBytes[stream] - sizeof stamp, stamp, sizeof stamp);
}

struct CutPoint {
    const char* name;
    uint64_t limit;  // 0: the whole file is written, and finalisation runs out of space
};

void LimitFileSize(uint64_t limit) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{limit, RLIM_INFINITY};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cap), 0);
}

// Runs in the child: writes under the limit, then checks what the host got and what the file
// holds.
void WriteAndCheck(const iohost::Driver& driver, const SessionIds& ids, const std::string& file,
                   const CutPoint& cut) {
    auto& host = iohost::Host::instance();
    std::array<uint32_t, 2> acknowledged{};  // per stream, the packets answered before a failure
    int32_t firstFailure = errNone;
    {
        iohost::Container container;
        std::array<iohost::Track, 2> tracks;
        iohost::VideoTrackSettings frames;
        frames.width = 1024;
        frames.height = 1024;
        frames.fourcc = ids.rgbFourcc;
        ASSERT_EQ(driver.createContainer(ids.container, container), errNone);
        ASSERT_EQ(container.init(), errNone);
        ASSERT_EQ(container.addVideoTrack(frames, tracks[0]), errNone);
        ASSERT_EQ(container.addAudioTrack({}, tracks[1]), errNone);
        ASSERT_EQ(container.open(file), errNone);
        if (cut.limit != 0) LimitFileSize(cut.limit);
        std::array<iohost::HostRef<iohost::HostBuffer>, 2> packets = {host.createBuffer(),
                                                                      host.createBuffer()};
        for (uint32_t stream = 0; stream < 2; ++stream)
            (void)packets[stream]->assign(PatternBytes(kBytes[stream], stream));
        packets[1]->setInt64("duration", int64_t{kBytes[1] / 4});
        const auto write = [&](uint32_t stream, uint32_t index) -> int32_t {
            void* data = nullptr;
            uint64_t size = 0;
            if (packets[stream]->lock(data, size) != errNone) return errFail;
            StampPacket(static_cast<uint8_t*>(data), stream, index);
            (void)packets[stream]->unlock();
            return tracks[stream].write(*packets[stream]);
        };
        // Three pairs more are still passed on after the first failure; they fail as well.
        for (uint32_t i = 0, after = 0; i < kPairs && after < 3; ++i) {
            const int32_t v = write(0, i);
            const int32_t a = write(1, i);
            after += firstFailure != errNone;
            if (firstFailure != errNone) continue;
            acknowledged[0] += v == errNone;
            acknowledged[1] += v == errNone && a == errNone;
            firstFailure = v != errNone ? v : a;
        }
        if (cut.limit == 0) LimitFileSize(std::filesystem::file_size(file));
        const int32_t closed = container.close();
        // Chunk failures, then one finalisation failure when contClose fails: after a failed
        // rollover the file may be closed cleanly at the last complete segment.
        std::vector<std::string> texts;
        for (const auto& entry : host.log().entries()) texts.push_back(entry.text);
        EXPECT_TRUE(closed == errFail || (closed == errNone && cut.limit != 0)) << closed;
        if (closed == errFail) {
            ASSERT_FALSE(texts.empty());
            EXPECT_EQ(texts.back(),
                      "Parvolux Plugin :: Failed to finalize AVI: AviWriter::finalize: failed to "
                      "correctly finalize avi");
            texts.pop_back();
        }
        const std::regex chunkFailure(
            "Parvolux Plugin :: Failed to write AVI (video|audio) chunk: .+");
        for (const auto& text : texts) EXPECT_TRUE(std::regex_match(text, chunkFailure)) << text;
        EXPECT_EQ(texts.empty(), cut.limit == 0);
        EXPECT_EQ(firstFailure, cut.limit == 0 ? errNone : errFail);
        EXPECT_TRUE(cut.limit != 0 || acknowledged[0] == kPairs) << acknowledged[0];
    }
    EXPECT_EQ(host.liveObjects(), 0u);
    EXPECT_EQ(host.badHandles(), 0u);

    // Every chunk that was written completely is still found, and holds its packet.
    const avireader::AviFile avi = avireader::readAvi(file);
    ASSERT_EQ(avi.streams.size(), 2u);
    avireader::PayloadReader payloads(file);
    for (uint32_t stream = 0; stream < 2; ++stream) {
        std::vector<uint8_t> expected = PatternBytes(kBytes[stream], stream), bytes;
        uint32_t complete = 0;
        for (const auto& chunk : avireader::chunksOfStream(avi, static_cast<int>(stream))) {
            // The chunk cut short by the limit ends the complete ones.
            if (chunk.size != kBytes[stream] || !payloads.read(chunk, bytes)) break;
            StampPacket(expected.data(), stream, complete);
            ASSERT_TRUE(bytes == expected) << "stream " << stream << " #" << complete;
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

class DiskFullTest : public ModuleSuite, public ::testing::WithParamInterface<CutPoint> {};

// The limit stays in a child process, so that nothing else this process writes can hit it; the
// child reports its failures itself and answers whether there were any.
TEST_P(DiskFullTest, HostGetsTheMessageAndCompleteChunksSurvive) {
    const pid_t child = fork();
    if (child == 0) {
        WriteAndCheck(driver(), m_ids, path("cut.avi"), GetParam());
        std::fflush(stdout);
        _exit(HasFailure() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "see the child's failures";
}

INSTANTIATE_TEST_SUITE_P(Cuts, DiskFullTest,
                         ::testing::Values(CutPoint{"InsideFirstHeaders", 2048 + 5},
                                           CutPoint{"InsideFirstSegment", 64 * kMiB + 3},
                                           CutPoint{"BeforeFirstRollover", kGiB - 2 * kMiB},
                                           CutPoint{"AfterFirstRollover", kGiB + 16},
                                           CutPoint{"InsideSecondSegment", kGiB + kGiB / 2 + 11},
                                           CutPoint{"BeforeSecondRollover", 3 * kGiB - 2 * kMiB},
                                           CutPoint{"AfterSecondRollover", 3 * kGiB + 16},
                                           CutPoint{"InsideThirdSegment",
                                                    3 * kGiB + 100 * kMiB + 1},
                                           CutPoint{"DuringFinalize", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace reliability
