// An in-memory fileio::File that counts every call, can fail chosen calls (a short write, a writeAt
// that reaches nothing, a failing seek), and drops the bytes of writes above keepLimit while still
// advancing, so that a file of terabytes costs only its headers and indexes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "fileio/file.h"

class TestFile final : public fileio::File {
public:
    explicit TestFile(size_t keepLimit = SIZE_MAX) : keepLimit(keepLimit) {}

    bool open(const char*, uint32_t) override { return true; }
    void close() override {}
    int64_t size() override { return static_cast<int64_t>(end); }
    uint64_t tell() override {
        ++tells;
        return position;
    }
    bool seek(uint64_t offset) override {
        ++seeks;
        if ((failSeek && failSeek(seeks)) || offset > uint64_t{INT64_MAX}) return false;
        position = offset;
        return true;
    }
    size_t read(void* buffer, size_t count) override {
        const auto bytes =
            bytesAt(position, std::min<uint64_t>(count, end - std::min(end, position)));
        std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(buffer));
        position += bytes.size();
        return bytes.size();
    }
    size_t write(const void* buffer, size_t count) override {
        ++writes;
        if (buffer == nullptr) return 0;  // a system refuses the address
        const size_t n =
            std::min(count, limitWrite ? limitWrite(writes, count).value_or(count) : count);
        const auto after = kept.erase(kept.lower_bound(position), kept.lower_bound(position + n));
        for (size_t i = 0; i < n && n <= keepLimit; ++i)
            kept.emplace_hint(after, position + i, static_cast<const uint8_t*>(buffer)[i]);
        position += n;
        end = std::max(end, position);
        return n;
    }
    size_t writeAt(const void* buffer, size_t count, int64_t offset) override {
        ++writeAts;
        return failWriteAt && failWriteAt(writeAts, offset) ? 0
                                                            : File::writeAt(buffer, count, offset);
    }

    // The bytes at [offset, offset + count); throws std::out_of_range if any was not kept.
    [[nodiscard]] std::vector<uint8_t> bytesAt(uint64_t offset, size_t count) const {
        std::vector<uint8_t> out(count);
        for (size_t i = 0; i < count; ++i) out[i] = kept.at(offset + i);
        return out;
    }

    uint64_t position = 0;
    uint64_t end = 0;
    int writes = 0, tells = 0, seeks = 0, writeAts = 0;

    // Faults, by the 1-based number of the call. limitWrite answers how many bytes the write may
    // transfer (nullopt: all).
    std::function<std::optional<size_t>(int number, size_t count)> limitWrite;
    std::function<bool(int number)> failSeek;
    std::function<bool(int number, int64_t offset)> failWriteAt;  // writes nothing, answers 0

private:
    size_t keepLimit;
    std::map<uint64_t, uint8_t> kept;
};
