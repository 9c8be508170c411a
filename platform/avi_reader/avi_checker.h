#pragma once
// Cross-checks what an AVI file claims about itself against the chunks it holds, the way a careful
// player or editor would rely on it:
// - segments: the first is RIFF "AVI " of at most 1 GiB, the others "AVIX" of at most 2 GiB (both
//   warnings), each with a "movi" list;
// - headers: "avih" dwStreams equals the stream lists, every stream has "strh" and a "strf" of its
//   type, dwLength equals the stream's duration (video: chunks; audio with dwSampleSize: bytes /
//   dwSampleSize), "dmlh" dwTotalFrames counts the video chunks of the file, "avih" dwTotalFrames
//   those of the first segment;
// - OpenDML indexes: every super index entry names a standard index chunk of its stream with the
//   right size and duration, every standard index entry names the payload of a data chunk of its
//   stream with its size, and every data chunk is indexed exactly once;
// - "idx1": offsets from the first "movi" FourCC (absolute offsets, which some writers use, are
//   recognised), every entry names a data chunk of the first segment with its id and size, every
//   such chunk is listed exactly once, and key-frame flags agree with the standard indexes.
// Problems found while reading come first. Repeats of one kind are cut to a few, with a count.

#include <vector>

#include "platform/avi_reader/avi_file.h"
#include "platform/avi_reader/problem.h"

namespace avireader {

// Empty when the file is consistent.
[[nodiscard]] std::vector<Problem> checkAvi(const AviFile& file);

}  // namespace avireader
