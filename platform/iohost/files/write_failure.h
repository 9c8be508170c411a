// The operating system's reason behind a failed write to an output, when the plug-in's own
// message has only byte counts: a probe file beside the output is written as far as the output
// reached and removed again, and the error it meets (no space, quota, file size limit) is the
// answer.
#pragma once

#include <string>

namespace iohost {

// " (No space left on device)" or similar; empty when a write beside `outputPath` succeeds.
[[nodiscard]] std::string WriteFailureReason(const std::string& outputPath);

}  // namespace iohost
