#pragma once
// Test files in the temporary folder get a random suffix, so that several builds can run these
// tests at the same time.

#include <filesystem>
#include <random>
#include <string>

namespace avitest {

inline std::filesystem::path uniqueTempPath(const std::filesystem::path& name) {
    std::filesystem::path file = name.stem();
    file += "_";
    file += std::to_string(std::random_device{}());
    file += name.extension();
    return std::filesystem::temp_directory_path() / file;
}

}  // namespace avitest
