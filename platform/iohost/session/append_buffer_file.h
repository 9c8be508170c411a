// A file that gathers appended bytes in memory and hands them to another file in large writes:
// joining copies thousands of chunks, and a system call for each chunk's header, payload and pad
// costs more than the copying. Patches behind the gathered bytes go to the file; patches inside
// them change the gathered bytes. Nothing here throws: a failed hand-over makes every later
// write short, as the other file would.
#pragma once

#include <cstdint>
#include <vector>

#include "fileio/file.h"

namespace iohost {

class AppendBufferFile final : public fileio::File {
public:
    // `file` is open, positioned where appending starts.
    AppendBufferFile(fileio::File& file, size_t capacity);

    bool open(const char*, uint32_t) override { return false; }
    void close() override { (void)flush(); }
    int64_t size() override;
    uint64_t tell() override { return m_base + m_bytes.size(); }
    bool seek(uint64_t offset) override;
    size_t read(void* buffer, size_t count) override;
    size_t write(const void* buffer, size_t count) override;
    size_t writeAt(const void* buffer, size_t count, int64_t offset) override;

    // Hands the gathered bytes over; false when that or an earlier hand-over failed.
    [[nodiscard]] bool flush();

private:
    fileio::File& m_file;
    size_t m_capacity;
    std::vector<uint8_t> m_bytes;
    uint64_t m_base;  // where the gathered bytes go
    bool m_failed = false;
};

}  // namespace iohost
