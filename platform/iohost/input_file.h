// A binary input stream: a named file, or standard input for "-" (switched to binary mode on
// Windows). Reads answer how many bytes came; a failed open throws InputError naming the path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace iohost {

class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    [[nodiscard]] const std::string& name() const { return m_name; }
    // Reads up to `size` bytes; fewer only at the end of the stream.
    [[nodiscard]] size_t read(void* data, size_t size);
    // Skips `size` bytes; false at the end of the stream.
    [[nodiscard]] bool skip(uint64_t size);
    // The file's size when it is a regular file, for progress estimates.
    [[nodiscard]] std::optional<uint64_t> size() const { return m_size; }
    [[nodiscard]] uint64_t position() const { return m_position; }

private:
    std::FILE* m_file = nullptr;
    bool m_owned = false;
    std::string m_name;
    uint64_t m_position = 0;
    std::optional<uint64_t> m_size;
};

}  // namespace iohost
