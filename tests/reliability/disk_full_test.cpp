// A real disk-full: a child process writes a three-segment file through the loaded module under a
// file-size limit (RLIMIT_FSIZE, SIGXFSZ ignored, so write() comes back short) and reports what
// the host saw. The parent judges the child's answers and reads what reached the disk with the
// independent AVI reader. Cut points: inside the first segment, around the first rollover, inside
// the second segment, around the second rollover, and during the finalisation of a complete file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/container.h"
#include "platform/iohost/driver.h"
#include "platform/iohost/host.h"
#include "platform/iohost/plugin_module.h"
#include "platform/iohost/track.h"
#include "tests/fileio/temp_dir.h"
#include "tests/registration/module_fixture.h"

namespace reliability {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;
constexpr uint32_t kVideoBytes = 4 * kMiB + 7;  // odd: every video chunk is padded
constexpr uint32_t kAudioBytes = 64 * 1024;     // 16-bit stereo: 16384 sample frames
constexpr uint32_t kPairs = 800;                // about 3.2 GiB: three RIFF segments

// Every byte of every packet tells which packet it belongs to, so that a chunk read back can be
// matched to the packet that was written.
void FillPacket(std::vector<uint8_t>& bytes, uint32_t stream, uint32_t index) {
    const uint32_t seed = index * 2u + stream;
    for (size_t j = 0; j < bytes.size(); ++j) {
        bytes[j] = static_cast<uint8_t>((j * 7u) ^ seed ^ (seed >> 8) ^ (j >> 12));
    }
}

// What the child saw, written line by line to a report file for the parent.
struct ChildReport {
    uint32_t videoOk = 0;  // packets answered errNone before the first failure
    uint32_t audioOk = 0;
    int32_t firstFailure = 0;  // code of the first failing trackWrite, 0 when none failed
    int32_t closeCode = 0;
    std::vector<std::string> messages;
    uint64_t liveObjects = 0;
    uint64_t badHandles = 0;
};

// Runs in the child. `limit` 0: no limit while writing, then the file's own size as the limit for
// contClose, so that only finalisation runs out of space.
int ChildMain(const std::string& path, uint64_t limit, const std::string& reportPath) {
    signal(SIGXFSZ, SIG_IGN);
    if (limit != 0) {
        const rlimit cap{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &cap) != 0) return 3;
    }
    ChildReport report;
    {
        auto module = iohost::PluginModule::load(
            iohost::PathNextToExecutable(iohost::DefaultModuleFileName()));
        const iohost::Driver driver(module);
        iohost::Container container;
        iohost::Track video;
        iohost::Track audio;
        if (driver.createContainer(module_test::UuidFromHex(module_test::kContainerIdText),
                                   container) != errNone)
            return 4;
        iohost::VideoTrackSettings settings;
        settings.width = 1024;
        settings.height = 1024;
        settings.fourcc = 0x50385247;  // "P8RG"
        if (container.init() != errNone || container.addVideoTrack(settings, video) != errNone ||
            container.addAudioTrack({}, audio) != errNone || container.open(path) != errNone)
            return 5;

        std::vector<uint8_t> videoBytes(kVideoBytes);
        std::vector<uint8_t> audioBytes(kAudioBytes);
        uint32_t afterFailure = 0;
        for (uint32_t i = 0; i < kPairs && afterFailure < 3; ++i) {
            FillPacket(videoBytes, 0, i);
            const int32_t v = video.write(videoBytes);
            FillPacket(audioBytes, 1, i);
            const int32_t a = audio.write(audioBytes, int64_t{kAudioBytes / 4});
            if (report.firstFailure == 0) {
                report.videoOk += v == errNone;
                report.audioOk += v == errNone && a == errNone;
                report.firstFailure = v != errNone ? v : a;
            } else {
                // Later packets are still passed on; they fail for lack of space as well.
                ++afterFailure;
            }
        }
        if (limit == 0) {
            struct stat info {};
            if (stat(path.c_str(), &info) != 0) return 6;
            const auto size = static_cast<rlim_t>(info.st_size);
            const rlimit cap{size, size};
            if (setrlimit(RLIMIT_FSIZE, &cap) != 0) return 3;
        }
        report.closeCode = container.close();
        for (const auto& entry : iohost::Host::instance().log().entries())
            report.messages.push_back(entry.text);
    }
    report.liveObjects = iohost::Host::instance().liveObjects();
    report.badHandles = iohost::Host::instance().badHandles();

    const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
    (void)setrlimit(RLIMIT_FSIZE, &none);
    std::ofstream out(reportPath);
    out << report.videoOk << "\n"
        << report.audioOk << "\n"
        << report.firstFailure << "\n"
        << report.closeCode << "\n"
        << report.liveObjects << "\n"
        << report.badHandles << "\n";
    for (const auto& text : report.messages) out << text << "\n";
    return out ? 0 : 7;
}

bool ReadReport(const std::string& path, ChildReport& report) {
    std::ifstream in(path);
    in >> report.videoOk >> report.audioOk >> report.firstFailure >> report.closeCode >>
        report.liveObjects >> report.badHandles;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) report.messages.push_back(line);
    return static_cast<bool>(in.eof());
}

struct CutPoint {
    const char* name;
    uint64_t limit;  // 0: during finalisation
};

const CutPoint kCuts[] = {
    {"InsideFirstSegment", 64 * kMiB + 3},
    {"FirstRollover", kGiB - 2 * kMiB},
    {"InsideSecondSegment", kGiB + kGiB / 2 + 11},
    {"SecondRollover", 3 * kGiB - 2 * kMiB},
    {"DuringFinalize", 0},
};

class DiskFullTest : public ::testing::TestWithParam<CutPoint> {};

TEST_P(DiskFullTest, HostGetsTheMessageAndCompleteChunksSurvive) {
    const CutPoint cut = GetParam();
    TempDir dir;
    const std::string file = dir.file(u8"cut.avi");
    const std::string reportPath = dir.file(u8"report.txt");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(ChildMain(file, cut.limit, reportPath));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died by signal " << WTERMSIG(status);
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the child could not run the session";

    ChildReport report;
    ASSERT_TRUE(ReadReport(reportPath, report));
    EXPECT_EQ(report.liveObjects, 0u);
    EXPECT_EQ(report.badHandles, 0u);

    static const std::regex kChunkFailure(
        "Parvolux Plugin :: Failed to write AVI (video|audio) chunk: .+");
    static const std::regex kWriteError(
        "Parvolux Plugin :: Failed to write AVI (video|audio) chunk: Write error: size: "
        "([0-9]+), written: ([0-9]+)");
    const std::string kFinalize =
        "Parvolux Plugin :: Failed to finalize AVI: AviWriter::finalize: failed to correctly "
        "finalize avi";

    size_t finalizeMessages = 0;
    size_t chunkMessages = 0;
    for (const auto& text : report.messages) {
        if (text == kFinalize) {
            ++finalizeMessages;
        } else {
            EXPECT_TRUE(std::regex_match(text, kChunkFailure)) << text;
            ++chunkMessages;
        }
    }
    // Finalisation reports once when it fails. After a failed rollover the file may already be
    // closed cleanly at the last complete segment, and then there is nothing left to fail.
    EXPECT_EQ(finalizeMessages, report.closeCode == errFail ? 1u : 0u);
    EXPECT_TRUE(report.closeCode == errFail || report.closeCode == errNone) << report.closeCode;
    if (cut.limit == 0) {
        EXPECT_EQ(report.closeCode, errFail);
        EXPECT_EQ(report.firstFailure, 0);
        EXPECT_EQ(report.videoOk, kPairs);
        EXPECT_EQ(chunkMessages, 0u);
    } else {
        EXPECT_EQ(report.firstFailure, errFail);
        ASSERT_GE(chunkMessages, 1u);
        // The first failure away from a rollover is a short write of the chunk itself.
        std::smatch numbers;
        if (std::regex_match(report.messages[0], numbers, kWriteError)) {
            EXPECT_LT(std::stoull(numbers[3].str()), std::stoull(numbers[2].str()))
                << report.messages[0];
        } else {
            EXPECT_NE(std::string(cut.name).find("Rollover"), std::string::npos)
                << "unexpected first message " << report.messages[0];
        }
    }

    // Every chunk that was written completely is still found, and holds its packet.
    const avireader::AviFile avi = avireader::readAvi(file);
    ASSERT_EQ(avi.streams.size(), 2u);
    std::ifstream bytes(file, std::ios::binary);
    const std::vector<uint32_t> wanted = {report.videoOk, report.audioOk};
    for (int stream = 0; stream < 2; ++stream) {
        const auto chunks = avireader::chunksOfStream(avi, stream);
        uint32_t complete = 0;
        std::vector<uint8_t> expected(stream == 0 ? kVideoBytes : kAudioBytes);
        std::vector<uint8_t> actual(expected.size());
        for (const auto& chunk : chunks) {
            // The chunk cut short by the limit ends the complete ones.
            if (chunk.offset + chunk.size > avi.fileSize || chunk.size != expected.size()) break;
            FillPacket(expected, static_cast<uint32_t>(stream), complete);
            bytes.seekg(static_cast<std::streamoff>(chunk.offset));
            bytes.read(reinterpret_cast<char*>(actual.data()),
                       static_cast<std::streamsize>(actual.size()));
            ASSERT_TRUE(actual == expected) << "stream " << stream << " chunk " << complete;
            ++complete;
        }
        EXPECT_GE(complete, wanted[static_cast<size_t>(stream)]) << "stream " << stream;
    }
    // The header patches were all attempted: the main header counts the file's frames even when
    // closing the last segment failed.
    ASSERT_TRUE(avi.odmlTotalFrames.has_value());
    EXPECT_GE(*avi.odmlTotalFrames, report.videoOk);
    ASSERT_TRUE(avi.streams[0].header.has_value());
    EXPECT_GE(avi.streams[0].header->length, report.videoOk);
    bytes.close();
    std::filesystem::remove(file);
}

INSTANTIATE_TEST_SUITE_P(Cuts, DiskFullTest, ::testing::ValuesIn(kCuts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace reliability
