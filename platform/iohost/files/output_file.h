// Opens an output file by its UTF-8 path for binary writing; throws std::runtime_error naming it.
#pragma once

#include <cstdio>
#include <string>

namespace iohost {

[[nodiscard]] std::FILE* OpenForWriting(const std::string& path);

}  // namespace iohost
