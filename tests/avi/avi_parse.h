// A small parse-back helper for the writer's tests: walks the RIFF tree of a written file and
// cross-checks its headers and indexes against the data chunks actually present. It knows only
// the layout this writer produces (video key frames, audio durations of size / block align).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using ByteReader = std::function<std::vector<uint8_t>(uint64_t offset, size_t count)>;

struct Node {
    uint32_t id = 0;
    uint32_t listType = 0;  // RIFF and LIST only
    uint64_t offset = 0;
    uint32_t size = 0;
    int depth = 0;

    [[nodiscard]] std::string name() const;  // "RIFF AVI ", "LIST movi", "00dc"
    [[nodiscard]] uint64_t payload() const { return offset + 8; }
};

std::string fourccText(uint32_t value);
uint16_t le16(std::span<const uint8_t> bytes, size_t at);
uint32_t le32(std::span<const uint8_t> bytes, size_t at);
uint64_t le64(std::span<const uint8_t> bytes, size_t at);

// Pre-order list of every chunk; throws std::runtime_error when a chunk runs past its parent.
std::vector<Node> parseTree(const ByteReader& read, uint64_t fileSize);

// Problems found between headers, indexes and data chunks; empty when all agree.
std::vector<std::string> checkIndexes(const ByteReader& read, const std::vector<Node>& tree);

// Equal bytes, or the first differing offset.
testing::AssertionResult sameBytes(std::span<const uint8_t> expected,
                                   std::span<const uint8_t> actual);

std::vector<uint8_t> readWholeFile(const std::string& utf8Path);
ByteReader memoryReader(const std::vector<uint8_t>& bytes);
