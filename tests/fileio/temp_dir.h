// A fresh directory under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define PARVOLUX_TEST_PID _getpid()
#else
#include <unistd.h>
#define PARVOLUX_TEST_PID getpid()
#endif

class TempDir {
public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
        static std::atomic<int> counter{0};
        path = parent / ("parvolux-test-" + std::to_string(PARVOLUX_TEST_PID) + "-" +
                         std::to_string(counter++));
        std::filesystem::create_directories(path);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    // The UTF-8 form fileio::File::open takes.
    [[nodiscard]] std::string file(const std::u8string& name) const {
        const std::u8string text = (path / name).u8string();
        return {text.begin(), text.end()};
    }

    std::filesystem::path path;
};
