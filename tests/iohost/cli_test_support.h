// Helpers of the encode/decode tests: a scratch folder removed at the end, running the command
// line in-process, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/iohost/cli.h"

namespace iohost_test {

class ScratchDir {
public:
    ScratchDir() {
        m_path = std::filesystem::temp_directory_path() /
                 ("iohost_cli_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    [[nodiscard]] std::string operator/(const std::string& name) const {
        return (m_path / name).string();
    }

private:
    std::filesystem::path m_path;
};

struct CliOutcome {
    int status;
    std::string out, err;
};

inline CliOutcome RunIohost(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = iohost::cli::Run(args, out, err);
    return {status, out.str(), err.str()};
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace iohost_test
