#include "platform/iohost/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace iohost {

namespace {

std::filesystem::path PathOf(const std::string& path) {
    return std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str()));
}

}  // namespace

std::FILE* OpenForWriting(const std::string& path) {
#ifdef _WIN32
    std::FILE* file = _wfopen(PathOf(path).c_str(), L"wb");
#else
    std::FILE* file = std::fopen(path.c_str(), "wb");
#endif
    if (file == nullptr)
        throw std::runtime_error("cannot create '" + path + "': " + std::strerror(errno));
    return file;
}

void RemoveFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(PathOf(path), ec);
}

}  // namespace iohost
