#include "platform/iohost/files/output_file.h"
#include "platform/iohost/files/utf8_path.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace iohost {

std::FILE* OpenForWriting(const std::string& path) {
#ifdef _WIN32
    std::FILE* file = _wfopen(Utf8Path(path).c_str(), L"wb");
#else
    std::FILE* file = std::fopen(path.c_str(), "wb");
#endif
    if (file == nullptr)
        throw std::runtime_error("cannot create '" + path + "': " + std::strerror(errno));
    return file;
}

}  // namespace iohost
