// An in-memory fileio::File for tests of code written over fileio::File. It counts every call, can
// fail chosen calls (a short write, a writeAt that reaches nothing, a failing seek), and can drop
// the bytes of large writes while still advancing the position, so that files of tens of gigabytes
// cost only their headers and indexes in memory. Reading a byte that was dropped or never written
// throws.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "fileio/file.h"

class TestFile final : public fileio::File {
public:
    // Writes larger than keepLimit bytes are dropped.
    explicit TestFile(size_t keepLimit = SIZE_MAX) : keepLimit(keepLimit) {}

    bool open(const char*, uint32_t) override { return true; }
    void close() override {}
    int64_t size() override { return static_cast<int64_t>(end); }
    uint64_t tell() override;
    bool seek(uint64_t offset) override;
    size_t read(void* buffer, size_t count) override;
    size_t write(const void* buffer, size_t count) override;
    size_t writeAt(const void* buffer, size_t count, int64_t offset) override;

    // The bytes at [offset, offset + count); throws std::runtime_error if any was not kept.
    [[nodiscard]] std::vector<uint8_t> bytesAt(uint64_t offset, size_t count) const;
    [[nodiscard]] std::vector<uint8_t> all() const { return bytesAt(0, end); }

    uint64_t position = 0;
    uint64_t end = 0;
    int writes = 0;
    int tells = 0;
    int seeks = 0;
    int writeAts = 0;

    // Faults, by the 1-based number of the call. limitWrite answers how many bytes the write may
    // transfer (nullopt: all).
    std::function<std::optional<size_t>(int number, size_t count)> limitWrite;
    std::function<bool(int number)> failSeek;
    std::function<bool(int number, int64_t offset)> failWriteAt;  // writes nothing, answers 0

private:
    static constexpr size_t kPage = 256;
    struct Page {
        std::array<uint8_t, kPage> data{};
        std::bitset<kPage> known;
    };
    void store(uint64_t offset, const uint8_t* bytes, size_t count);
    void forget(uint64_t offset, size_t count);

    size_t keepLimit;
    uint64_t keptEnd = 0;  // a dropped write beyond it has nothing to forget
    std::unordered_map<uint64_t, Page> pages;
};
