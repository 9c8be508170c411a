#pragma once
// Writes small AVI files for the reader's tests, byte by byte from the file format, with every
// header and index consistent, and remembers where each structure lies so that a test can damage
// exactly one field. Deliberately independent of the reader: nothing here parses.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace avitest {

struct ChunkPlan {
    int stream = 0;
    uint32_t size = 0;
};

// Video streams are 64x48, 24 bits, "P8RG" with 4 private bytes, at 25 frames a second; audio
// streams are 16-bit stereo PCM at 48 kHz.
struct FilePlan {
    std::vector<bool> video;                       // per stream: video or audio
    std::vector<std::vector<ChunkPlan>> segments;  // data chunks per RIFF segment, in order
    bool openDml = true;                           // indx, odml/dmlh and ix## chunks
};

struct Built {
    std::vector<uint8_t> bytes;
    // Where things are, by name: the payloads of "avih", "dmlh", "idx1" and of "strh1", "strf1",
    // "indx1" (stream 1); the chunk headers of "riff1", "movi1" (segment 1), "ix01.1" (stream 1,
    // segment 1) and "chunk1.0" (segment 1, first data chunk).
    std::map<std::string, size_t> at;
};

[[nodiscard]] Built buildAvi(const FilePlan& plan);

// One video and one audio stream over two segments, an idx1 in the first: 3 video and 4 audio
// chunks in the first, 2 video and 3 audio in the second.
[[nodiscard]] FilePlan twoSegmentPlan();

}  // namespace avitest
