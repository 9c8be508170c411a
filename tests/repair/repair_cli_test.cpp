// `iohost repair` and `inspect` on a real interrupted export: `iohost encode` of the test pattern
// killed with SIGKILL once its file has grown to a random size; then what the commands do to it,
// to a finished file, to files they must refuse, and the frames that survive. And `iohost decode`
// stopped by each stop signal.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/cli/cli_repair.h"
#include "tests/iohost/cli_test_support.h"

namespace {

using namespace iohost_test;

// Starts `iohost encode` of the 64x48 test pattern (and the tone) and kills it with SIGKILL once
// the file holds `bytes` bytes.
void EncodeKilled(const std::string& path, uintmax_t bytes) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("./iohost", "iohost", "encode", path.c_str(), "--pattern", "--tone", "--size",
              "64x48", "--frames", "10000000", "-q", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto size = [&] {
        std::error_code ec;
        const uintmax_t n = std::filesystem::file_size(path, ec);
        return ec ? 0 : n;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (size() < bytes && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the encode ended before it was killed";
}

TEST(RepairCli, KilledEncodeIsRepairedToItsFirstFrames) {
    ScratchDir dir;
    const std::string avi = dir / "killed.avi";
    std::mt19937 random(std::random_device{}());
    const uintmax_t at = 300000 + random() % 3000000;
    SCOPED_TRACE("killed at " + std::to_string(at) + " bytes");
    EncodeKilled(avi, at);

    const CliOutcome inspected = RunIohost({"inspect", avi});
    EXPECT_EQ(inspected.status, iohost::cli::kExitRepairable) << inspected.err;
    EXPECT_TRUE(Has(inspected.out, "Unfinished")) << inspected.out;
    EXPECT_TRUE(Has(inspected.out, "'LIST' 'movi'")) << inspected.out;
    EXPECT_FALSE(Has(inspected.out + inspected.err, "no main header")) << inspected.out;

    // -o writes a copy, never over an existing file unless -y, never over the input.
    const std::string killed = ReadFile(avi), copy = dir / "copy.avi";
    WriteFile(copy, "keep");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // on standard error
        std::string copyAfter;
    } refusals[] = {
        {{"repair", avi, "-o", copy}, 1, "already exists (use -y", "keep"},
        {{"repair", avi, "-o", avi, "-y"}, 1, "is the input", "keep"},
        {{"repair", avi, "-o", "-"}, 2, "needs a file", "keep"},
        {{"repair", avi, "--dry-run"}, 0, "", "keep"},
        {{"repair", avi, "-o", copy, "-y"}, 0, "", ""},
    };
    for (const auto& r : refusals) {
        const CliOutcome outcome = RunIohost(r.args);
        EXPECT_EQ(outcome.status, r.status) << outcome.err;
        EXPECT_TRUE(Has(outcome.err, r.message)) << outcome.err;
        EXPECT_EQ(ReadFile(avi), killed);
        if (!r.copyAfter.empty()) {
            EXPECT_EQ(ReadFile(copy), r.copyAfter);
        }
    }

    const CliOutcome repaired = RunIohost({"repair", avi});
    ASSERT_EQ(repaired.status, 0) << repaired.err;
    EXPECT_EQ(ReadFile(avi), ReadFile(copy));
    const std::string finished = ReadFile(avi);
    const CliOutcome again = RunIohost({"repair", avi});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(Has(again.err, "nothing to repair")) << again.err;
    EXPECT_EQ(ReadFile(avi), finished);
    EXPECT_EQ(RunIohost({"inspect", avi}).status, 0);

    // The frames kept are the pattern's first ones, bit for bit.
    const avireader::AviFile file = avireader::readAvi(avi);
    const size_t frames = avireader::chunksOfStream(file, 0).size();
    ASSERT_GT(frames, 0U);
    const std::string source =
        WriteSource(dir, "source.y4m", "yuv422p", 64, 48, static_cast<int>(frames));
    const CliOutcome verified = RunIohost({"decode", avi, "--verify", source});
    EXPECT_EQ(verified.status, 0) << verified.err << verified.out;

    // Refused and left alone: another writer's RIFF, and a file cut inside its header.
    const std::string foreign = dir / "foreign.avi", headless = dir / "headless.avi";
    WriteFile(foreign, std::string("RIFF\x04\0\0\0WAVE", 12));
    WriteFile(headless, killed.substr(0, 600));
    for (const auto& [path, message] : {std::pair{foreign, "was not written by"},
                                        std::pair{headless, "before its header ended"}}) {
        const std::string before = ReadFile(path);
        const CliOutcome outcome = RunIohost({"repair", path});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(Has(outcome.err, message)) << outcome.err;
        EXPECT_EQ(ReadFile(path), before);
    }
}

// Stopped at any frame, decode finishes its output on a frame boundary, says so and exits with
// 128 + the signal.
TEST(RepairCli, StoppedDecodeFinishesItsOutputOnAFrameBoundary) {
    ScratchDir dir;
    const std::string avi = dir / "p.avi";
    ASSERT_EQ(RunIohost({"encode", avi, "--pattern", "--size", "1280x720", "--frames", "60", "-q"})
                  .status,
              0);
    constexpr uint64_t kFrame = 6 + 1280 * 720 * 2;
    for (const auto& [signal, name] :
         {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
        SCOPED_TRACE(name);
        const std::string out = dir / (std::string(name) + ".y4m"), log = out + ".txt";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 2);
            execl("./iohost", "iohost", "decode", avi.c_str(), "-o", out.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        std::error_code ec;
        while (std::filesystem::file_size(out, ec) < 2 * kFrame || ec)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_TRUE(Has(ReadFile(log), std::string("stopped by ") + name)) << ReadFile(log);
        const std::string y4m = ReadFile(out);
        const size_t header = y4m.find("FRAME");
        EXPECT_EQ((y4m.size() - header) % kFrame, 0U) << y4m.size();
        EXPECT_LT(y4m.size() - header, 60 * kFrame);
    }
}

}  // namespace
