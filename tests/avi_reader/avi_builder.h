#pragma once
// Writes small AVI files for the reader's tests, byte by byte from the file format, with every
// header and index consistent, and remembers where each structure lies so that a test can damage
// exactly one field. Deliberately independent of the reader: nothing here parses.

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace avitest {

struct StreamPlan {
    bool video = true;
    // Video.
    int32_t width = 64;
    int32_t height = 48;
    uint16_t bitCount = 24;
    uint32_t handler = 0x47523850;  // "P8RG" in file order
    std::vector<uint8_t> privateBytes;
    uint32_t rate = 25;
    uint32_t scale = 1;
    // Audio (integer PCM).
    uint16_t channels = 2;
    uint16_t bits = 16;
    uint32_t sampleRate = 48000;
    bool extensible = false;
    uint32_t channelMask = 0;
};

struct ChunkPlan {
    int stream = 0;
    uint32_t size = 0;
};

struct FilePlan {
    std::vector<StreamPlan> streams;
    std::vector<std::vector<ChunkPlan>> segments;  // data chunks per RIFF segment, in order
    bool openDml = true;                           // indx, odml/dmlh and ix## chunks
    bool oldIndex = true;                          // idx1 in the first segment
    // Faults that byte patches cannot make:
    std::optional<std::pair<int, size_t>> skipStandardIndex;  // {stream, segment}: ix chunk left
                                                              // out, its super entry kept
    std::optional<std::pair<int, size_t>> unindexedChunk;     // {stream, segment}: one more data
                                                              // chunk that no index lists
};

// Where things are. Chunk headers unless named payload.
struct Layout {
    size_t avih = 0;                              // payload
    std::vector<size_t> strh, strf, indx;         // payloads, per stream
    size_t dmlh = 0;                              // payload
    std::vector<size_t> riff, movi;               // per segment
    std::vector<std::vector<size_t>> chunks;      // per segment, in order
    std::map<std::pair<int, size_t>, size_t> ix;  // {stream, segment}
    size_t idx1 = 0;                              // payload
};

struct Built {
    std::vector<uint8_t> bytes;
    Layout layout;

    void put32(size_t pos, uint32_t value);
    [[nodiscard]] uint32_t get32(size_t pos) const;
};

// The payload byte at `i` of a chunk of `stream` whose header is at `header`.
[[nodiscard]] uint8_t payloadByte(size_t header, int stream, size_t i);

[[nodiscard]] Built buildAvi(const FilePlan& plan);

// One video stream ("P8RG", 4 private bytes) and one 16-bit stereo audio stream over two segments:
// 3 video and 4 audio chunks in the first, 2 video and 3 audio in the second.
[[nodiscard]] FilePlan twoSegmentPlan();

}  // namespace avitest
