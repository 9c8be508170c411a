// A binary input stream: a named file, or standard input for "-". Reads answer how many bytes
// came; a failed open or read throws InputError naming the path and the system's reason. The first
// bytes can be looked at before they are read (peek), so a pipe is read only once even when its
// kind is decided by its first bytes.
//
// A pipe or terminal is waited on in short steps, so a stop request (StopRequest) ends a read
// within a fraction of a second even while the writer upstream is stalled; the read then answers
// the bytes it has, which callers treat as the end of the input.
#pragma once

#include <cstdint>
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
    // Reads up to `size` bytes; fewer only at the end of the stream or on a stop request.
    [[nodiscard]] size_t read(void* data, size_t size);
    // The next `size` bytes (fewer at the end), left to be read again.
    [[nodiscard]] std::string peek(size_t size);
    // Skips `size` bytes; false at the end of the stream.
    [[nodiscard]] bool skip(uint64_t size);
    // The file's size when it is a regular file, for progress estimates.
    [[nodiscard]] std::optional<uint64_t> size() const { return m_size; }
    [[nodiscard]] uint64_t position() const { return m_position; }

private:
    // One system read of at most `size` bytes: 0 at the end or on a stop request.
    size_t readSome(uint8_t* data, size_t size);
    [[noreturn]] void fail(const std::string& what, const std::string& reason) const;

    intptr_t m_handle = -1;  // a file descriptor, or a Windows HANDLE
    bool m_owned = false;
    bool m_waits = false;  // a pipe, socket or terminal: wait in steps
    std::string m_name;
    uint64_t m_position = 0;
    std::optional<uint64_t> m_size;
    std::string m_peeked;
};

}  // namespace iohost
