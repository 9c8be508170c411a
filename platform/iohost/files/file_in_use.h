// Whether another program holds a file for writing: an export still running (the plug-in's file
// layer locks what it writes on POSIX and shares no writing on Windows), or any program that
// opened it without letting others in. Reading such a file shows a moment of it, not the file.
#pragma once

#include <string>

namespace iohost {

[[nodiscard]] bool InUseByAnotherProgram(const std::string& path);

}  // namespace iohost
