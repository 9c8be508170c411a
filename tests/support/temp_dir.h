// A fresh directory under the system's temporary folder (or another), removed with its contents.
#pragma once

#include <atomic>
#include <filesystem>
#include <random>
#include <string>

class TempDir {
public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
        static std::atomic<unsigned> counter{0};
        do {  // whoever creates a name owns it; a test process running alongside takes another
            path = parent / ("parvolux-test-" + std::to_string(std::random_device{}()) + "-" +
                             std::to_string(counter++));
        } while (!std::filesystem::create_directories(path));
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
