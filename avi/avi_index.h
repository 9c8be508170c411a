// The three AVI indexes as records: the OpenDML standard index (one chunk per stream and segment),
// the OpenDML super index (per stream, pointing at its standard index chunks) and the AVI 1.0
// "idx1" entries of the first segment. Entries stay small because one is kept per chunk for the
// life of the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi/little_endian_buffer.h"

// A data chunk of the current segment that no standard index holds yet.
struct PendingChunk {
    uint64_t dataPos = 0;  // file position of the payload
    uint32_t size = 0;
    uint32_t duration = 0;
    bool keyFrame = false;
};

struct StdIndexHeader {
    static constexpr size_t kSize = 24;

    uint16_t wLongsPerEntry = 2;
    uint8_t bIndexSubType = 0;
    uint8_t bIndexType = 1;  // AVI_INDEX_OF_CHUNKS
    uint32_t nEntriesInUse = 0;
    uint32_t dwChunkId = 0;
    uint64_t qwBaseOffset = 0;  // position of the segment's LIST "movi" header
    uint32_t dwReserved3 = 0;

    void serialize(LittleEndianBuffer& out) const;
};

struct StdIndexEntry {
    static constexpr size_t kSize = 8;
    static constexpr uint32_t kNotKeyFrame = 0x80000000;

    uint32_t dwOffset = 0;  // payload position - qwBaseOffset
    uint32_t dwSize = 0;    // payload size, kNotKeyFrame set for a delta chunk
};

// One "ix##" chunk's payload.
struct StandardIndex {
    StdIndexHeader header;
    std::vector<StdIndexEntry> entries;

    [[nodiscard]] size_t byteSize() const { return StdIndexHeader::kSize + 8 * entries.size(); }
    void serialize(LittleEndianBuffer& out) const;
};

struct SuperIndexHeader {
    static constexpr size_t kSize = 24;

    uint16_t wLongsPerEntry = 4;
    uint8_t bIndexSubType = 0;
    uint8_t bIndexType = 0;  // AVI_INDEX_OF_INDEXES
    uint32_t nEntriesInUse = 0;
    uint32_t dwChunkId = 0;

    void serialize(LittleEndianBuffer& out) const;  // dwReserved[3] follow as zeros
};

struct SuperIndexEntry {
    static constexpr size_t kSize = 16;

    uint64_t qwOffset = 0;    // position of the standard index chunk's header
    uint32_t dwSize = 0;      // that chunk's size, header included
    uint32_t dwDuration = 0;  // sum of the durations it indexes

    void serialize(LittleEndianBuffer& out) const;
};

// One "idx1" entry.
struct OldIndexEntry {
    static constexpr size_t kSize = 16;
    static constexpr uint32_t kKeyFrame = 0x10;  // AVIIF_KEYFRAME

    uint32_t dwChunkId = 0;
    uint32_t dwFlags = 0;
    uint32_t dwOffset = 0;  // chunk header position - position of the "movi" FourCC
    uint32_t dwSize = 0;

    void serialize(LittleEndianBuffer& out) const;
};
