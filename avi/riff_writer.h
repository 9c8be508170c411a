// Turns a sequential fileio::File into nested RIFF chunks. A chunk is opened with the size its
// header gets now (exact when known, 4 for a list still to be filled); the writer counts every
// byte that goes into it and, on closing, patches the size in place only when it differs, then adds
// the pad byte that keeps the next chunk on an even offset. A closed child's bytes and pad count in
// its parent. Only the innermost chunk can be closed; a failed close still pops it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "avi/little_endian_buffer.h"
#include "fileio/file.h"

// What closing a chunk answers; offset + 8 is the position of its payload.
struct ChunkInfo {
    uint32_t id = 0;
    uint32_t size = 0;  // as finally stored
    uint32_t listType = 0;
    uint64_t offset = 0;
};

// One open chunk. Its parent is the chunk below it on the writer's stack.
struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;      // what the size field on disk holds now
    uint32_t listType = 0;  // 0 for a plain chunk
    uint64_t offset = 0;    // position of the chunk's id
    // Own header, payload written while innermost, and each closed child with its pad byte.
    // Wraps like the 32-bit size field it feeds.
    uint32_t written = 0;
};

class RiffWriter {
public:
    explicit RiffWriter(fileio::File& file);
    RiffWriter(const RiffWriter&) = delete;
    RiffWriter& operator=(const RiffWriter&) = delete;
    ~RiffWriter();

    // Writes the header at the current position and pushes the chunk. Throws fileio::WriteError
    // for a short header write, leaving the stack as it was. Returns *this for a ChunkScope.
    RiffWriter& openChunk(uint32_t id, uint32_t size, bool isList, uint32_t listType);
    // Writes through the file and counts what was written in the innermost chunk. Never throws.
    [[nodiscard]] size_t write(const void* buffer, size_t count);
    // Pops the innermost chunk, patching its size and padding it. All zero when none is open.
    // Throws fileio::Error "Failed to close riff chunk: <label>" when the patch or pad fails.
    ChunkInfo closeChunk();
    // Closes everything, innermost first, ignoring failures.
    void closeAll() noexcept;
    // Pushes, without writing anything, a chunk that an earlier run opened at offset with size in
    // its header and that now holds `written` bytes (its header and closed children included), so
    // that the chunk is closed as if this writer had opened it.
    void resumeChunk(const RiffChunk& chunk);

    // The innermost open chunk, or null.
    [[nodiscard]] const RiffChunk* current() const;
    [[nodiscard]] size_t depth() const { return chunks.size(); }

    // The text a close failure names a chunk by: its list type for RIFF and LIST, else its id;
    // printable ASCII as is, other bytes as "[%u]".
    [[nodiscard]] static std::string label(const RiffChunk& chunk);

private:
    fileio::File& file;
    std::vector<RiffChunk> chunks;  // innermost last
    LittleEndianBuffer scratch;
};
