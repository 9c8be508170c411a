// A real disk-full: a three-segment file written through the loaded module by a child process
// under a file-size limit (RLIMIT_FSIZE with SIGXFSZ ignored, so write() comes back short), then
// read back here with the independent AVI reader. The limit stays in the child, so that nothing
// else this process writes can hit it. The first segment ends below 1 GiB and the second below
// 3 GiB; the cuts fall in the headers, inside each segment, on both sides of each rollover, and in
// the finalisation of a whole file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// What the child saw. `setupFailure` names what failed before any packet was written, or that the
// child itself did not finish. `acknowledged` counts, per stream, the packets answered errNone
// before the first failure.
struct Outcome {
    std::array<uint32_t, 2> acknowledged{};
    int32_t firstFailure = errNone;
    int32_t closeCode = errNone;
    uint64_t liveObjects = 0;
    uint64_t badHandles = 0;
    std::string setupFailure;
    std::vector<std::string> log;
};

bool LimitFileSize(uint64_t limit) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{limit, RLIM_INFINITY};
    return setrlimit(RLIMIT_FSIZE, &cap) == 0;
}

// Runs in the child: `limit` 0 lets the whole file be written and cuts the finalisation.
Outcome WriteUnderLimit(const iohost::Driver& driver, const SessionIds& ids,
                        const std::string& file, uint64_t limit) {
    Outcome out;
    auto& host = iohost::Host::instance();
    {
        iohost::Container container;
        std::array<iohost::Track, 2> tracks;
        iohost::VideoTrackSettings video;
        video.width = 1024;
        video.height = 1024;
        video.fourcc = ids.rgbFourcc;
        const auto step = [&](const char* name, bool ok) {
            if (!ok && out.setupFailure.empty()) out.setupFailure = name;
            return ok;
        };
        if (!step("create", driver.createContainer(ids.container, container) == errNone) ||
            !step("init", container.init() == errNone) ||
            !step("video track", container.addVideoTrack(video, tracks[0]) == errNone) ||
            !step("audio track", container.addAudioTrack({}, tracks[1]) == errNone) ||
            !step("open", container.open(file) == errNone) ||
            !step("limit", limit == 0 || LimitFileSize(limit))) {
            return out;
        }
        std::array<iohost::HostRef<iohost::HostBuffer>, 2> packets = {host.createBuffer(),
                                                                      host.createBuffer()};
        for (uint32_t stream = 0; stream < 2; ++stream) {
            (void)packets[stream]->assign(PatternBytes(kBytes[stream], stream));
        }
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
            after += out.firstFailure != errNone;
            if (out.firstFailure != errNone) continue;
            out.acknowledged[0] += v == errNone;
            out.acknowledged[1] += v == errNone && a == errNone;
            out.firstFailure = v != errNone ? v : a;
        }
        if (limit == 0 && !step("limit", LimitFileSize(std::filesystem::file_size(file)))) {
            return out;
        }
        out.closeCode = container.close();
    }
    for (const auto& entry : host.log().entries()) out.log.push_back(entry.text);
    out.liveObjects = host.liveObjects();
    out.badHandles = host.badHandles();
    return out;
}

// The outcome crosses the pipe as lines: the numbers, the setup failure, then the log (the log's
// texts are single lines).
std::string Serialise(const Outcome& out) {
    std::ostringstream wire;
    wire << out.acknowledged[0] << ' ' << out.acknowledged[1] << ' ' << out.firstFailure << ' '
         << out.closeCode << ' ' << out.liveObjects << ' ' << out.badHandles << '\n'
         << out.setupFailure << '\n';
    for (const auto& text : out.log) wire << text << '\n';
    return wire.str();
}

bool Deserialise(const std::string& wire, Outcome& out) {
    std::istringstream in(wire);
    in >> out.acknowledged[0] >> out.acknowledged[1] >> out.firstFailure >> out.closeCode >>
        out.liveObjects >> out.badHandles;
    in.ignore(1);
    if (!in || !std::getline(in, out.setupFailure)) return false;
    for (std::string text; std::getline(in, text);) out.log.push_back(text);
    return true;
}

struct CutPoint {
    const char* name;
    uint64_t limit;  // 0: the whole file is written, and finalisation runs out of space
};

class DiskFullTest : public ModuleSuite, public ::testing::WithParamInterface<CutPoint> {
protected:
    // Forks, writes in the child, and brings its outcome back through a pipe.
    Outcome writeInChild(const std::string& file, uint64_t limit) {
        Outcome out;
        int fds[2];
        if (pipe(fds) != 0) {
            out.setupFailure = "pipe";
            return out;
        }
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            const std::string wire = Serialise(WriteUnderLimit(driver(), m_ids, file, limit));
            for (size_t at = 0; at < wire.size();) {
                const ssize_t n = ::write(fds[1], wire.data() + at, wire.size() - at);
                if (n <= 0) _exit(2);
                at += static_cast<size_t>(n);
            }
            _exit(0);
        }
        close(fds[1]);
        std::string wire;
        char chunk[4096];
        for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) wire.append(chunk, n);
        close(fds[0]);
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0 || !Deserialise(wire, out)) {
            out.setupFailure = "child process (wait status " + std::to_string(status) + ")";
        }
        return out;
    }
};

TEST_P(DiskFullTest, HostGetsTheMessageAndCompleteChunksSurvive) {
    const CutPoint cut = GetParam();
    const std::string file = path("cut.avi");
    const Outcome out = writeInChild(file, cut.limit);
    ASSERT_EQ(out.setupFailure, "");
    EXPECT_EQ(out.liveObjects, 0u) << "host objects leaked in the child";
    EXPECT_EQ(out.badHandles, 0u);

    // Chunk failures, then one finalisation failure when contClose fails: after a failed rollover
    // the file may be closed cleanly at the last complete segment, with nothing left to fail.
    std::vector<std::string> texts = out.log;
    EXPECT_TRUE(out.closeCode == errFail || out.closeCode == errNone) << out.closeCode;
    if (out.closeCode == errFail) {
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
    EXPECT_EQ(out.firstFailure, cut.limit == 0 ? errNone : errFail);
    if (cut.limit == 0) {
        EXPECT_EQ(out.closeCode, errFail);
        EXPECT_EQ(out.acknowledged[0], kPairs);
    }

    // Every chunk that was written completely is still found, and holds its packet.
    const avireader::AviFile avi = avireader::readAvi(file);
    ASSERT_EQ(avi.streams.size(), 2u);
    std::ifstream in(file, std::ios::binary);
    for (uint32_t stream = 0; stream < 2; ++stream) {
        std::vector<uint8_t> expected = PatternBytes(kBytes[stream], stream);
        std::vector<uint8_t> bytes(kBytes[stream]);
        uint32_t complete = 0;
        for (const auto& chunk : avireader::chunksOfStream(avi, static_cast<int>(stream))) {
            // The chunk cut short by the limit ends the complete ones.
            if (chunk.offset + chunk.size > avi.fileSize || chunk.size != kBytes[stream]) break;
            in.seekg(static_cast<std::streamoff>(chunk.offset));
            in.read(reinterpret_cast<char*>(bytes.data()),
                    static_cast<std::streamsize>(chunk.size));
            StampPacket(expected.data(), stream, complete);
            ASSERT_TRUE(in && bytes == expected) << "stream " << stream << " #" << complete;
            ++complete;
        }
        EXPECT_GE(complete, out.acknowledged[stream]) << "stream " << stream;
    }
    // Every header patch was attempted: the headers count the frames even when the last segment
    // could not be closed.
    ASSERT_TRUE(avi.odmlTotalFrames.has_value() && avi.streams[0].header.has_value());
    EXPECT_GE(*avi.odmlTotalFrames, out.acknowledged[0]);
    EXPECT_GE(avi.streams[0].header->length, out.acknowledged[0]);
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
