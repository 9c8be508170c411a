// What `iohost repair` and `iohost inspect` say about a file that an interrupted export left
// unfinished, and the exit status that `inspect` gives it.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "avi/avi_repair.h"
#include "platform/iohost/cli/cli.h"

namespace iohost::cli {

// `inspect`: the file is unfinished and `repair` can finish it.
inline constexpr int kExitRepairable = 3;

// What `inspect` and `repair` say of a file another program holds (kExitInUse): an export still
// writing it shows only a moment of it, and must not be finished under its writer.
inline constexpr const char* kInUse =
    "is in use by another program (an export still writing it?): try again once it has closed "
    "it";

// Before `inspect` or `repair` reads `path`: when it is no regular file that can be opened, or is
// in use by another program, says so and answers the exit status.
[[nodiscard]] std::optional<int> RefuseUnreadable(const Context& context, const std::string& path);

// Segments, complete chunks per stream, the tail after them, a frame that does not decode (`note`,
// see verified_repair.h) and what the repair writes.
void PrintRepairReport(const AviRepairPlan& plan, const std::string& note, std::ostream& out);

}  // namespace iohost::cli
