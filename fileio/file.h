// The position-based file that the AVI writer and the container write through. The writer never
// talks to the operating system: it asks for the position, appends at it, and patches bytes behind
// it with writeAt. No operation throws; failures come back as false, a zero position or a short
// count, and the caller decides what a short count means (see errors.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace fileio {

class File {
public:
    // Open-mode bits, combined with |.
    static constexpr uint32_t Read = 0x1;   // open an existing file unless Write is also given
    static constexpr uint32_t Write = 0x2;  // create or truncate
    static constexpr uint32_t NoBuffering = 0x4;  // bypass the system cache
    static constexpr uint32_t ShareRead = 0x8;    // let others read while it is open
    // With Write: open an existing file as it is, without creating or truncating it (for tools
    // that finish a file in place; the product itself never uses it).
    static constexpr uint32_t Existing = 0x10;

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    virtual ~File() = default;

    // path is UTF-8. An open file is closed first. A mode with neither Read nor Write fails.
    [[nodiscard]] virtual bool open(const char* path, uint32_t mode) = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual int64_t size() = 0;
    // 0 when the position cannot be had.
    [[nodiscard]] virtual uint64_t tell() = 0;
    // offset is from the start of the file.
    [[nodiscard]] virtual bool seek(uint64_t offset) = 0;
    [[nodiscard]] virtual size_t read(void* buffer, size_t count) = 0;
    [[nodiscard]] virtual size_t write(const void* buffer, size_t count) = 0;
    [[nodiscard]] virtual size_t blockSize();
    [[nodiscard]] virtual size_t alignment();
    // Writes at offset and returns to the position it had before, whatever the write did, so an
    // appending writer can patch sizes behind itself. 0 when offset cannot be reached.
    [[nodiscard]] virtual size_t writeAt(const void* buffer, size_t count, int64_t offset);
    // No slot sets the size: a virtual one would be linked into the module with its system call
    // although only repair cuts files (see setSize of the platform files).
};

}  // namespace fileio
