// fileio::File over Win32 handles. One Win32 call per operation, no retry: read and write report
// what the single call transferred, with the count passed as a 32-bit DWORD (callers keep single
// transfers below 4 GiB). The container owns one by value and opens it with the UTF-16 overload.
#pragma once

#include <windows.h>

#include "fileio/file.h"

namespace fileio {

class WinFile final : public File {
public:
    WinFile() = default;
    ~WinFile() override;

    // Converts the UTF-8 path and forwards to the UTF-16 overload.
    [[nodiscard]] bool open(const char* path, uint32_t mode) override;
    [[nodiscard]] bool open(const wchar_t* path, uint32_t mode);
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
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool isOpen = false;
};

}  // namespace fileio
