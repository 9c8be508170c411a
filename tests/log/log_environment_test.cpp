#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

#include "log/log_environment.h"
#include "log/logger.h"
#include "tests/log/log_test_support.h"

namespace {

using namespace logtest;

// '9' in the pattern stands for any digit; every other character must be there as it is.
bool hasShape(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
}

TEST(LogEnvironmentTest, PlatformAnswersDescribeThisProcess) {
    const LogEnvironment platform = LogEnvironment::platform();

    const std::optional<LogEnvironment::Path> home = platform.profileFolder();
    ASSERT_TRUE(home.has_value());
    EXPECT_TRUE(fs::is_directory(fs::path(*home)));

    const fs::path executable(platform.executablePath());
    EXPECT_TRUE(executable.is_absolute() && fs::is_regular_file(executable)) << executable;
    EXPECT_EQ(executable.stem(), "log_tests");

    const uint64_t mine = platform.threadId();
    uint64_t other = mine;
    std::thread([&] { other = platform.threadId(); }).join();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(platform.threadId(), mine);
    EXPECT_NE(other, mine);

    const std::time_t before = std::time(nullptr);
    std::tm now = platform.localTime();
    const std::time_t after = std::time(nullptr);
    now.tm_isdst = -1;
    const std::time_t stamp = std::mktime(&now);
    EXPECT_GE(stamp, before - 1);
    EXPECT_LE(stamp, after + 1);
}

#ifndef _WIN32
// Away from Windows the console is the process's standard error, always there.
TEST(LogEnvironmentTest, PlatformConsoleIsStandardError) {
    const LogEnvironment platform = LogEnvironment::platform();
    testing::internal::CaptureStderr();
    platform.openConsole();
    platform.writeConsole("to the console\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to the console\n");
}
#endif

// Everything from the platform but the profile folder, so the real clock, thread id and
// executable path reach the file.
TEST(LogEnvironmentTest, PlatformLogFileHasTheExpectedShape) {
    TempFolder profile;
    const LogEnvironment platform = LogEnvironment::platform();
    LogEnvironment environment = platform;
    environment.profileFolder = [&] { return std::optional(profile.path().native()); };
    {
        Logger logger(environment);
        logger.setEnabled(true);
        logger.openFile();
    }
    const std::vector<fs::path> files = filesIn(profile.path() / "parvolux" / "host");
    ASSERT_EQ(files.size(), 1u);
    const std::string name = files[0].filename().string();
    EXPECT_TRUE(hasShape(name, "parvolux_host_99999999_999999_00.log")) << name;

    const std::vector<std::string> lines = splitLines(readText(files[0]));
    ASSERT_EQ(lines.size(), 3u);
    char thread[32];
    std::snprintf(thread, sizeof(thread), "[%5llu]",
                  static_cast<unsigned long long>(platform.threadId()));
    const char* const messages[] = {"Log opened", "Application: ", "Log closed"};
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        ASSERT_GT(line.size(), 22u) << line;
        EXPECT_TRUE(hasShape(line.substr(0, 22), "[9999-99-99 99:99:99] ")) << line;
        EXPECT_EQ(line.substr(22), std::string(thread) + " [         0] " + messages[i] +
                                       (i == 1 ? platform.executablePath() : ""));
    }
}

}  // namespace
