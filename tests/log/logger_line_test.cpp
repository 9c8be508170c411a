#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "log/logger.h"
#include "tests/log/log_test_support.h"

namespace {

using namespace logtest;

// An open log writing to the file and the console, with the opening lines already written and
// cleared from the console, so each test sees exactly the bytes of its own messages.
class LoggerLineTest : public testing::Test {
protected:
    LoggerLineTest() : logger(machine.environment()) {}

    void SetUp() override {
        machine.profile = profile.path().native();
        logger.setEnabled(true);
        logger.setConsoleWanted(true);
        logger.openFile();
        opening = machine.console;
        machine.console.clear();
    }

    // What reached both outputs since SetUp; the two must agree.
    std::string written() {
        const fs::path file =
            profile.path() / "parvolux" / "host" / "parvolux_host_20261204_211026_00.log";
        const std::string fileText = readText(file);
        EXPECT_EQ(fileText.substr(0, opening.size()), opening);
        EXPECT_EQ(fileText.substr(opening.size()), machine.console);
        return machine.console;
    }

    void resetOutput() {
        opening += machine.console;
        machine.console.clear();
    }

    TempFolder profile;
    FakeMachine machine;
    Logger logger;
    std::string opening;
};

TEST_F(LoggerLineTest, PrefixCarriesTheStampAndTheThreadNumber) {
    struct Case {
        std::tm clock;
        uint64_t thread;
        const char* expected;
    };
    const Case cases[] = {
        {makeTime(2026, 12, 4, 21, 10, 26), 4242, "[2026-12-04 21:10:26] [ 4242] [         0] x\n"},
        {makeTime(2027, 1, 2, 3, 4, 5), 7, "[2027-01-02 03:04:05] [    7] [         0] x\n"},
        {makeTime(2026, 12, 4, 21, 10, 26), 12345,
         "[2026-12-04 21:10:26] [12345] [         0] x\n"},
        {makeTime(2026, 12, 4, 21, 10, 26), 4294967295u,
         "[2026-12-04 21:10:26] [4294967295] [         0] x\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        machine.clock = c.clock;
        machine.thread = c.thread;
        logger.writeLine("x");
        EXPECT_EQ(written(), c.expected);
        resetOutput();
    }
}

TEST_F(LoggerLineTest, SplitsAfterEachNewlineAndEndsWithOne) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const std::string& p = kPrefix;
    const Case cases[] = {
        {"", p + "\n"},
        {"one", p + "one\n"},
        {"one\n", p + "one\n"},
        {"\n", p + "\n"},
        {"one\ntwo", p + "one\n" + p + "two\n"},
        {"one\ntwo\n", p + "one\n" + p + "two\n"},
        {"one\n\ntwo", p + "one\n" + p + "\n" + p + "two\n"},
        {"\n\n", p + "\n" + p + "\n"},
        {"\none", p + "\n" + p + "one\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        logger.writeLine(c.text);
        EXPECT_EQ(written(), c.expected);
        resetOutput();
        // log hands the same text to writeLine, so the lines come out alike.
        logger.log("%s", c.text.c_str());
        EXPECT_EQ(written(), c.expected);
        resetOutput();
    }
}

TEST_F(LoggerLineTest, LogFormatsTheWholeMessage) {
    const std::string longText(5000, 'a');
    struct Case {
        std::function<void(Logger&)> call;
        std::string expected;
    };
    const Case cases[] = {
        {[](Logger& l) { l.log("plain"); }, "plain"},
        {[](Logger& l) { l.log("%d|%s|%05.1f|%llx|%%", -42, "str", 3.14159, 0xabcULL); },
         "-42|str|003.1|abc|%"},
        {[&](Logger& l) { l.log("%s|%d", longText.c_str(), 7); }, longText + "|7"},
        {[](Logger& l) { l.log("%s and %s", "line one\nline two", "more"); },
         "line one\n" + kPrefix + "line two and more"},
        {[](Logger& l) { l.log("%s", ""); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.substr(0, 40));
        c.call(logger);
        EXPECT_EQ(written(), kPrefix + c.expected + "\n");
        resetOutput();
    }
}

}  // namespace
