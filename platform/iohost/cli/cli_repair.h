// What `iohost repair` and `iohost inspect` say about a file that an interrupted export left
// unfinished, and the exit status that `inspect` gives it.
#pragma once

#include <ostream>
#include <string>

#include "avi/avi_repair.h"

namespace iohost::cli {

// `inspect`: the file is unfinished and `repair` can finish it.
inline constexpr int kExitRepairable = 3;

// Segments, complete chunks per stream, the tail after them, a frame that does not decode (`note`,
// see verified_repair.h) and what the repair writes.
void PrintRepairReport(const AviRepairPlan& plan, const std::string& note, std::ostream& out);

}  // namespace iohost::cli
