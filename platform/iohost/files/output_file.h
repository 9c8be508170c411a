// Creates a new output file by its UTF-8 path for binary writing (or opens an existing pipe or
// device); throws std::runtime_error naming it. A regular file that exists already is refused,
// never truncated: outputs of the user's go through OutputGuard, this is for files of a run's own.
#pragma once

#include <cstdio>
#include <string>

namespace iohost {

[[nodiscard]] std::FILE* OpenForWriting(const std::string& path);

}  // namespace iohost
