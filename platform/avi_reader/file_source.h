#pragma once
// A file opened for reading with 64-bit positions on every platform. On Windows the path is taken
// as UTF-8 and opened through its UTF-16 form, so names outside the ANSI code page work.

#include <cstdio>
#include <string>

#include "platform/avi_reader/byte_source.h"

namespace avireader {

class FileSource final : public ByteSource {
public:
    // Opens the file; isOpen() tells whether that worked.
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    [[nodiscard]] bool isOpen() const { return m_file != nullptr; }
    // The size when the file was opened.
    [[nodiscard]] uint64_t size() const override { return m_size; }
    [[nodiscard]] size_t read(uint64_t offset, void* dst, size_t count) override;

private:
    std::FILE* m_file = nullptr;
    uint64_t m_size = 0;
};

}  // namespace avireader
