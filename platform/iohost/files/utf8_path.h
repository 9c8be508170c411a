// Paths reach iohost as UTF-8 (on Windows the wide command line is converted at start-up); the
// filesystem library keeps them UTF-8 only when handed char8_t, not the system's narrow code page.
#pragma once

#include <filesystem>
#include <string>

namespace iohost {

[[nodiscard]] inline std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str()));
}

}  // namespace iohost
