#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "log/logger.h"
#include "tests/log/log_test_support.h"

namespace {

using namespace logtest;

const std::string kOpening =
    kPrefix + "Log opened\n" + kPrefix + "Application: /opt/host/bin/host\n";
const std::string kClosing = kPrefix + "Log closed\n";

std::string nameWithNumber(int number) {
    char name[64];
    std::snprintf(name, sizeof(name), "parvolux_host_20261204_211026_%02d.log", number);
    return name;
}

void writeFile(const fs::path& file, const std::string& text) {
    std::ofstream out(file);
    out << text;
}

class LoggerFileTest : public testing::Test {
protected:
    LoggerFileTest() { machine.profile = profile.path().native(); }

    fs::path hostFolder() const { return profile.path() / "parvolux" / "host"; }

    std::unique_ptr<Logger> enabledLogger(bool consoleWanted) {
        auto logger = std::make_unique<Logger>(machine.environment());
        logger->setEnabled(true);
        logger->setConsoleWanted(consoleWanted);
        return logger;
    }

    // Earlier runs' files with the same stamp, numbered 0 to count - 1.
    void takeNames(int count) {
        fs::create_directories(hostFolder());
        for (int number = 0; number < count; ++number) {
            writeFile(hostFolder() / nameWithNumber(number), "earlier");
        }
    }

    void expectEarlierFilesUntouched(int count) {
        for (int number = 0; number < count; ++number) {
            ASSERT_EQ(readText(hostFolder() / nameWithNumber(number)), "earlier") << number;
        }
    }

    TempFolder profile;
    FakeMachine machine;
};

TEST_F(LoggerFileTest, TakesTheFirstFreeNumberForTheOpeningSecond) {
    struct Case {
        int taken;
        const char* expected;
    };
    const Case cases[] = {
        {0, "parvolux_host_20261204_211026_00.log"},
        {1, "parvolux_host_20261204_211026_01.log"},
        {2, "parvolux_host_20261204_211026_02.log"},
        {10, "parvolux_host_20261204_211026_10.log"},
        {99, "parvolux_host_20261204_211026_99.log"},
        {100, "parvolux_host_20261204_211026_100.log"},
        {999, "parvolux_host_20261204_211026_999.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.taken);
        fs::remove_all(profile.path() / "parvolux");
        takeNames(c.taken);
        // Another second's file does not hold a number.
        writeFile(hostFolder() / "parvolux_host_20261204_211025_00.log", "earlier");

        enabledLogger(false)->openFile();

        ASSERT_EQ(filesIn(hostFolder()).size(), static_cast<size_t>(c.taken) + 2);
        EXPECT_EQ(readText(hostFolder() / c.expected), kOpening + kClosing);
        expectEarlierFilesUntouched(c.taken);
    }
}

TEST_F(LoggerFileTest, CreatesBothFoldersUnderTheProfile) {
    for (const fs::path& folder : {profile.path(), profile.path() / ""}) {
        SCOPED_TRACE(folder);
        machine.profile = folder.native();
        enabledLogger(false)->openFile();
        EXPECT_EQ(filesIn(profile.path()).size(), 1u);
        EXPECT_EQ(filesIn(profile.path() / "parvolux").size(), 1u);
        EXPECT_EQ(readText(hostFolder() / nameWithNumber(0)), kOpening + kClosing);
        fs::remove_all(profile.path() / "parvolux");
    }
}

TEST_F(LoggerFileTest, WithAllThousandNamesTakenGoesOnWithoutAFile) {
    takeNames(1000);
    {
        auto logger = enabledLogger(true);
        logger->openFile();
        logger->log("still here");
    }
    EXPECT_EQ(filesIn(hostFolder()).size(), 1000u);
    expectEarlierFilesUntouched(1000);
    EXPECT_EQ(machine.console, kOpening + kPrefix + "still here\n" + kClosing);
}

TEST_F(LoggerFileTest, LinesAreOnDiskBeforeTheLogCloses) {
    auto logger = enabledLogger(false);
    logger->openFile();
    const fs::path file = hostFolder() / nameWithNumber(0);
    EXPECT_EQ(readText(file), kOpening);
    logger->log("first");
    EXPECT_EQ(readText(file), kOpening + kPrefix + "first\n");
    logger.reset();
    EXPECT_EQ(readText(file), kOpening + kPrefix + "first\n" + kClosing);
    EXPECT_TRUE(machine.console.empty());
    EXPECT_EQ(machine.consoleOpened, 0);
}

TEST_F(LoggerFileTest, OpeningAgainKeepsTheFileAndTheConsole) {
    {
        auto logger = enabledLogger(true);
        logger->openFile();
        logger->openFile();
        logger->log("after");
    }
    ASSERT_EQ(filesIn(hostFolder()).size(), 1u);
    const std::string expected = kOpening + kPrefix + "after\n" + kClosing;
    EXPECT_EQ(readText(hostFolder() / nameWithNumber(0)), expected);
    EXPECT_EQ(machine.consoleOpened, 1);
    EXPECT_EQ(machine.console, expected);
}

TEST_F(LoggerFileTest, WithoutAProfileFolderThereIsNoFileAndNoOpeningLines) {
    machine.profile.reset();
    auto logger = enabledLogger(true);
    logger->openFile();
    EXPECT_EQ(machine.consoleOpened, 1);
    EXPECT_EQ(machine.console, "");
    logger->log("to the console");
    logger.reset();
    EXPECT_EQ(machine.console, kPrefix + "to the console\n" + kClosing);
    EXPECT_TRUE(filesIn(profile.path()).empty());
}

TEST_F(LoggerFileTest, SwitchedOffTouchesNothing) {
    for (const bool consoleWanted : {false, true}) {
        SCOPED_TRACE(consoleWanted);
        {
            Logger logger(machine.environment());
            logger.setConsoleWanted(consoleWanted);
            logger.openFile();
            logger.log("%s", "message");
            logger.writeLine("line");
        }
        EXPECT_TRUE(filesIn(profile.path()).empty());
        EXPECT_EQ(machine.calls, 0);
        EXPECT_EQ(machine.consoleOpened, 0);
        EXPECT_EQ(machine.console, "");
    }
}

TEST_F(LoggerFileTest, SwitchingOffStopsWritingAndClosesQuietly) {
    {
        auto logger = enabledLogger(true);
        logger->openFile();
        logger->log("on");
        logger->setEnabled(false);
        logger->log("off");
        logger->openFile();
    }
    const std::string expected = kOpening + kPrefix + "on\n";
    EXPECT_EQ(readText(hostFolder() / nameWithNumber(0)), expected);
    EXPECT_EQ(machine.console, expected);
}

}  // namespace
