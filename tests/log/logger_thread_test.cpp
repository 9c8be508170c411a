#include <gtest/gtest.h>

#include <cstdio>
#include <latch>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "log/logger.h"
#include "tests/log/log_test_support.h"

namespace {

using namespace logtest;

// Each writer logs messages of three lines that name the writer, the message, the writer's own
// thread id and the line; the file must hold every message whole, its lines in order and each
// carrying the writer's thread id in the prefix.
TEST(LoggerThreadTest, MessagesFromManyThreadsStayWhole) {
    constexpr int kWriters = 6;
    constexpr int kMessages = 150;
    TempFolder profile;
    FakeMachine machine;
    machine.profile = profile.path().native();
    LogEnvironment environment = machine.environment();
    environment.threadId = LogEnvironment::platform().threadId;
    {
        Logger logger(std::move(environment));
        logger.setEnabled(true);
        logger.openFile();
        std::latch start(kWriters);
        std::vector<std::thread> writers;
        writers.reserve(kWriters);
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&logger, &start, w] {
                const unsigned long long tid = LogEnvironment::platform().threadId();
                start.arrive_and_wait();
                for (int m = 0; m < kMessages; ++m) {
                    logger.log("w%d m%d t%llu a\nw%d m%d t%llu b\nw%d m%d t%llu c", w, m, tid, w, m,
                               tid, w, m, tid);
                }
            });
        }
        for (std::thread& writer : writers) writer.join();
    }

    const std::vector<std::string> lines = splitLines(
        readText(profile.path() / "parvolux" / "host" / "parvolux_host_20261204_211026_00.log"));
    // Two opening lines, the messages, "Log closed".
    ASSERT_EQ(lines.size(), 2u + kWriters * kMessages * 3 + 1);
    std::map<int, int> nextMessage;
    std::set<unsigned long long> writerThreads;
    for (size_t i = 2; i + 1 < lines.size(); i += 3) {
        int writer = -1;
        int message = -1;
        unsigned long long tid = 0;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "%*[^]]] [%*u] [ %*u] w%d m%d t%llu", &writer,
                              &message, &tid),
                  3)
            << lines[i];
        for (size_t k = 0; k < 3; ++k) {
            char expected[160];
            std::snprintf(expected, sizeof(expected),
                          "[2026-12-04 21:10:26] [%5llu] [         0] w%d m%d t%llu %c", tid,
                          writer, message, tid, static_cast<char>('a' + k));
            ASSERT_EQ(lines[i + k], expected);
        }
        EXPECT_EQ(message, nextMessage[writer]++) << lines[i];
        writerThreads.insert(tid);
    }
    EXPECT_EQ(nextMessage.size(), static_cast<size_t>(kWriters));
    EXPECT_EQ(writerThreads.size(), static_cast<size_t>(kWriters));
    EXPECT_NE(lines.back().find("Log closed"), std::string::npos);
}

TEST(LoggerThreadTest, InstanceIsOneLogThatStartsSwitchedOff) {
    std::vector<Logger*> seen(4, nullptr);
    std::vector<std::thread> callers;
    callers.reserve(seen.size());
    for (Logger*& slot : seen) {
        callers.emplace_back([&slot] { slot = &Logger::instance(); });
    }
    for (std::thread& caller : callers) caller.join();
    for (Logger* logger : seen) EXPECT_EQ(logger, &Logger::instance());
    EXPECT_FALSE(Logger::instance().enabled());
    EXPECT_FALSE(Logger::instance().consoleWanted());
}

}  // namespace
