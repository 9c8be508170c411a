// A scratch profile folder and a machine with a fixed clock, a chosen thread id and a console
// that records what it is given, for driving a Logger whose output can be predicted exactly.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "log/log_environment.h"

namespace logtest {

namespace fs = std::filesystem;

inline std::tm makeTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

// Text mode, so that the line ends the runtime writes read back as '\n' on every platform.
inline std::string readText(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    if (!fs::is_directory(folder)) return files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    return files;
}

class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> s_next{0};
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = fs::temp_directory_path() /
                 ("logtest_" + std::to_string(tick) + "_" + std::to_string(s_next++));
        fs::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// The machine a test's Logger sees. Lambdas point back here, so it must outlive the Logger.
struct FakeMachine {
    std::tm clock = makeTime(2026, 12, 4, 21, 10, 26);
    uint64_t thread = 4242;
    std::optional<LogEnvironment::Path> profile;
    std::string application = "/opt/host/bin/host";
    std::string console;
    int consoleOpened = 0;
    std::atomic<int> calls{0};  // questions other than the console's

    LogEnvironment environment() {
        return LogEnvironment{
            [this] { return asked(clock); },
            [this] { return asked(profile); },
            [this] { return asked(thread); },
            [this] { return asked(application); },
            [this] { ++consoleOpened; },
            [this](std::string_view text) { console.append(text); },
        };
    }

    template <class T>
    T asked(const T& answer) {
        ++calls;
        return answer;
    }
};

// The prefix of the fake machine's lines.
inline const std::string kPrefix = "[2026-12-04 21:10:26] [ 4242] [         0] ";

}  // namespace logtest
