#pragma once
// The outline of an AVI file for people: one line per chunk other than data chunks, indented by
// nesting, headers decoded on their line, and for each "movi" list the count of its data chunks
// per chunk id. Meant for `iohost inspect`; the format is for reading, not parsing.

#include <ostream>

#include "platform/avi_reader/avi_file.h"

namespace avireader {

void printAvi(const AviFile& file, std::ostream& out);

}  // namespace avireader
