// fileio::File over POSIX descriptors, for builds without Win32. Same contract as WinFile:
// Write creates or truncates (0644), Read alone opens an existing file, NoBuffering asks for
// O_DIRECT, a mode with neither Read nor Write fails. Share modes become advisory locks on regular
// files, taken without waiting and before any truncation: shared for a reader with ShareRead,
// exclusive for everyone else, so openers of ours get in beside each other exactly when
// CreateFileW would let them, and a refused one leaves the file as it is. Unlike Windows,
// programs that take no lock are not held off. Devices and pipes are opened as they are.
// Unlike one Win32 call, one POSIX call may stop early (Linux caps a call at 2 GiB less a page), so
// read and write repeat until the count is done or the system makes no progress.
#pragma once

#include "fileio/file.h"

namespace fileio {

class PosixFile final : public File {
public:
    PosixFile() = default;
    ~PosixFile() override;

    [[nodiscard]] bool open(const char* path, uint32_t mode) override;
    void close() override;
    [[nodiscard]] int64_t size() override;
    [[nodiscard]] uint64_t tell() override;
    [[nodiscard]] bool seek(uint64_t offset) override;
    [[nodiscard]] size_t read(void* buffer, size_t count) override;
    [[nodiscard]] size_t write(const void* buffer, size_t count) override;
    // Cuts the file to `size` bytes, or extends it with zeros; the position is left unchanged.
    // Only repair needs it, so it is no virtual slot and lives in a source file of its own, which
    // the module never links.
    [[nodiscard]] bool setSize(uint64_t size);

    [[nodiscard]] bool opened() const { return isOpen; }

private:
    int handle = -1;
    bool isOpen = false;
};

}  // namespace fileio
