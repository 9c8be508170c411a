#pragma once
// Reads the structure of an AVI file, OpenDML extensions included: every RIFF segment ("AVI "
// then "AVIX"), the headers of "hdrl", the super indexes, the standard indexes, "idx1", and the
// position and size of every data chunk. Payloads are not read (see PayloadReader).
//
// Any byte sequence is accepted: sizes past the end of the file, chunks that overrun their list,
// odd sizes, absurd entry counts or nesting produce entries in AviFile::problems and stop only the
// part of the walk they spoil. Memory stays proportional to the input and the walk always ends.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/avi_reader/avi_file.h"
#include "platform/avi_reader/byte_source.h"

namespace avireader {

// A file that cannot be opened gives an AviFile with one problem saying so.
[[nodiscard]] AviFile readAvi(const std::string& path);

[[nodiscard]] AviFile parseAvi(const uint8_t* data, size_t size);

[[nodiscard]] AviFile parseAvi(ByteSource& source);

}  // namespace avireader
