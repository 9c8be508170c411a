// A fileio::File that writes nowhere: it keeps every write in memory with its position, in order.
// Finalising a resumed writer over it shows what finalisation would write before a byte of the real
// file changes. Reads find nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "fileio/file.h"

class WriteRecorder final : public fileio::File {
public:
    struct Write {
        uint64_t pos = 0;
        std::vector<uint8_t> bytes;
    };

    [[nodiscard]] bool open(const char*, uint32_t) override { return true; }
    void close() override {}
    [[nodiscard]] int64_t size() override { return static_cast<int64_t>(end); }
    [[nodiscard]] uint64_t tell() override { return position; }
    [[nodiscard]] bool seek(uint64_t offset) override {
        position = offset;
        return true;
    }
    [[nodiscard]] size_t read(void*, size_t) override { return 0; }
    [[nodiscard]] size_t write(const void* buffer, size_t count) override {
        if (buffer == nullptr) {
            return 0;  // as a system refuses the address
        }
        const auto* p = static_cast<const uint8_t*>(buffer);
        writes.push_back(Write{position, std::vector<uint8_t>(p, p + count)});
        position += count;
        end = position > end ? position : end;
        return count;
    }

    std::vector<Write> writes;

private:
    uint64_t position = 0;
    uint64_t end = 0;
};
