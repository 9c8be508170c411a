// The RIFF framing that the writer, the scan and the repair share: the two list ids, the sizes of
// a chunk's and a list's header, and what a chunk takes in the file. Said once, here.
#pragma once

#include <cstdint>

#include "avi/four_cc.h"

inline constexpr uint32_t kRiffId = fourCC("RIFF");
inline constexpr uint32_t kListId = fourCC("LIST");
inline constexpr uint64_t kChunkHeaderSize = 8;  // id, size
inline constexpr uint64_t kListHeaderSize = 12;  // id, size, list type

// A payload of `size` bytes with the pad byte an odd size takes.
constexpr uint64_t paddedSize(uint64_t size) {
    return size + (size & 1);
}

// The bytes a chunk of `size` payload bytes takes in the file: header, payload, pad byte.
constexpr uint64_t chunkFootprint(uint64_t size) {
    return kChunkHeaderSize + paddedSize(size);
}
