// The log on a fake machine (fixed clock and thread id, scratch profile, recording console) that
// shows which file it takes and what it writes, whole messages among threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "log/log_environment.h"
#include "log/logger.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Text mode, so that the line ends the runtime writes read back as '\n' on every platform.
std::string readText(const fs::path& file) {
    std::ostringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

std::tm at(const char* stamp) {
    std::tm time{};
    std::istringstream(stamp) >> std::get_time(&time, "%Y-%m-%d %H:%M:%S");
    return time;
}

size_t countFiles(const fs::path& folder) {
    return fs::is_directory(folder) ? std::distance(fs::directory_iterator(folder), {}) : 0;
}

// The Logger's questions come back here, so it must outlive the Logger.
struct FakeMachine {
    TempDir scratch;  // holds home, so that a log folder named beside it goes too
    TempDir home{scratch.path};
    std::tm clock = at("2026-12-04 21:10:26");
    uint64_t thread = 4242;
    std::optional<LogEnvironment::Path> profile = home.path.native();
    std::string console;
    std::function<void()> beforeConsoleLine;  // e.g. to start another writer mid-message
    int consoleOpened = 0;

    [[nodiscard]] fs::path hostFolder() const { return home.path / "parvolux" / "host"; }
    [[nodiscard]] fs::path logFile(int number = 0) const {
        char name[48];
        std::snprintf(name, sizeof name, "parvolux_host_20261204_211026_%02d.log", number);
        return hostFolder() / name;
    }

    LogEnvironment environment() {
        return LogEnvironment{
            [this] { return clock; },
            [this] { return profile; },
            [this] { return thread; },
            [] { return std::string("/opt/host/bin/host"); },
            [this] { ++consoleOpened; },
            [this](std::string_view text) {
                if (beforeConsoleLine) beforeConsoleLine();
                console.append(text);
            },
        };
    }
};

const std::string kPrefix = "[2026-12-04 21:10:26] [ 4242] [         0] ";
const std::string kOpening =
    kPrefix + "Log opened\n" + kPrefix + "Application: /opt/host/bin/host\n";

std::unique_ptr<Logger> openLog(FakeMachine& machine, bool consoleWanted) {
    auto logger = std::make_unique<Logger>(machine.environment());
    logger->setEnabled(true);
    logger->setConsoleWanted(consoleWanted);
    logger->openFile();
    return logger;
}

// Earlier runs took the first numbers of the opening second; another second's file and a trailing
// separator on the profile folder change nothing. Opening twice keeps the file and the console.
// With all 1000 names taken (or no profile folder: taken -1) the log goes on without a file.
TEST(LoggerFile, TakesTheFirstFreeNumberOfTheOpeningSecond) {
    const struct {
        int taken;
        bool trailingSeparator;
    } rows[] = {{0, false},   {0, true},    {1, false},    {10, false}, {99, false},
                {100, false}, {999, false}, {1000, false}, {-1, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.taken << " taken, " << row.trailingSeparator);
        FakeMachine machine;
        if (row.trailingSeparator) machine.profile = (machine.home.path / "").native();
        if (row.taken < 0) machine.profile.reset();
        fs::create_directories(machine.hostFolder());
        std::ofstream(machine.hostFolder() / "parvolux_host_20261204_211025_00.log") << "earlier";
        for (int n = 0; n < row.taken; ++n) std::ofstream(machine.logFile(n)) << "earlier";
        {
            auto logger = openLog(machine, true);
            if (row.taken < 1000) logger->openFile();
            logger->log("x");
        }
        const bool named = row.taken >= 0 && row.taken < 1000;
        const std::string expected =
            (row.taken >= 0 ? kOpening : "") + kPrefix + "x\n" + kPrefix + "Log closed\n";
        EXPECT_EQ(machine.console, expected);
        EXPECT_EQ(machine.consoleOpened, 1);
        EXPECT_EQ(countFiles(machine.home.path), 1u);
        EXPECT_EQ(countFiles(machine.hostFolder()), std::max(row.taken, 0) + (named ? 2u : 1u));
        EXPECT_EQ(readText(machine.logFile(row.taken)), named ? expected : "");
        for (int n = 0; n < row.taken; ++n) ASSERT_EQ(readText(machine.logFile(n)), "earlier");
    }
}

// An open log; written() answers what reached both the file and the console since its last call.
class LoggerLine : public testing::Test {
protected:
    std::string written() {
        const std::string file = readText(machine.logFile());
        EXPECT_EQ(file, machine.console);
        return file.substr(std::exchange(seen, file.size()));
    }

    FakeMachine machine;
    std::unique_ptr<Logger> logger = openLog(machine, true);
    size_t seen = kOpening.size();
};

// A message is split after each newline, every piece gets the prefix, and one newline ends it.
// log formats the whole message first and hands it on the same way.
TEST_F(LoggerLine, SplitsAfterEachNewlineAndPrefixesEachPiece) {
    const std::string& p = kPrefix;
    const struct {
        std::string text;
        std::string expected;
    } rows[] = {{"", p + "\n"},
                {"one", p + "one\n"},
                {"one\n", p + "one\n"},
                {"\n", p + "\n"},
                {"one\ntwo", p + "one\n" + p + "two\n"},
                {"one\ntwo\n", p + "one\n" + p + "two\n"},
                {"one\n\ntwo", p + "one\n" + p + "\n" + p + "two\n"},
                {"\n\n", p + "\n" + p + "\n"},
                {"\none", p + "\n" + p + "one\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.text));
        logger->writeLine(row.text);
        EXPECT_EQ(written(), row.expected);
        logger->log("%s", row.text.c_str());
        EXPECT_EQ(written(), row.expected);
    }
    const std::string longText(5000, 'a');
    logger->log("%d|%s|%05.1f|%llx|%%|%s", -42, "str", 3.14159, 0xabcULL, longText.c_str());
    EXPECT_EQ(written(), p + "-42|str|003.1|abc|%|" + longText + "\n");
    logger->log("%s and %s", "line one\nline two", "more");
    EXPECT_EQ(written(), p + "line one\n" + p + "line two and more\n");
    // The stamp and the thread number are asked for each line; a wide number widens the field.
    machine.clock = at("2027-01-02 03:04:05");
    machine.thread = 4294967295u;
    logger->writeLine("x");
    EXPECT_EQ(written(), "[2027-01-02 03:04:05] [4294967295] [         0] x\n");
}

// A second writer that starts while a message is half written waits for its end (given half a
// second, an unguarded one would have written in between).
TEST_F(LoggerLine, AnotherThreadsMessageWaitsForTheWholeOfOne) {
    std::thread other;
    std::atomic<bool> otherDone{false};
    machine.beforeConsoleLine = [&] {
        if (other.joinable()) return;
        other = std::thread([&] {
            logger->log("other");
            otherDone = true;
        });
        for (int i = 0; i < 50 && !otherDone; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    logger->log("one\ntwo");
    other.join();
    machine.beforeConsoleLine = nullptr;  // the log's closing line comes after this scope
    EXPECT_EQ(written(), kPrefix + "one\n" + kPrefix + "two\n" + kPrefix + "other\n");
}

}  // namespace
