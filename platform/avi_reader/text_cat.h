#pragma once
// Builds a message from its parts without format strings: cat("chunk '", id, "' at ", offset).
// 8-bit integers would print as characters, so pass them widened.

#include <sstream>
#include <string>

namespace avireader {

template <typename... Parts>
[[nodiscard]] std::string cat(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

}  // namespace avireader
