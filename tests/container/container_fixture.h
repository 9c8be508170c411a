// What the container tests share: a module test with a scratch folder, packets, and a read-back of
// the written file with the independent AVI reader so that records can be compared byte for byte
// with golden values. (Video packets straight from the encoder's callback are the reliability
// tests' session; here the container gets packets whose sizes the tests choose.)
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/driver/container.h"
#include "tests/support/module_fixture.h"
#include "tests/support/temp_dir.h"

namespace container_test {

using Bytes = std::vector<uint8_t>;
using Packets = std::vector<Bytes>;

// A golden record, field by field, little-endian.
struct Golden {
    Bytes data;

    Golden& u16s(std::initializer_list<uint16_t> values) {
        for (uint16_t v : values) data.insert(data.end(), {uint8_t(v), uint8_t(v >> 8)});
        return *this;
    }
    Golden& u32s(std::initializer_list<uint32_t> values) {
        for (uint32_t v : values) u16s({uint16_t(v), uint16_t(v >> 16)});
        return *this;
    }
    Golden& fourcc(const char (&text)[5]) { return bytes({text, text + 4}); }
    Golden& bytes(const Bytes& more) {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
};

// The extensible-format SubFormat GUID of a wave format tag (1 PCM, 3 IEEE float).
inline Bytes SubFormat(uint16_t tag) {
    return Golden().u32s({tag}).u16s({0, 0x10}).bytes({0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}).data;
}

// A written file as bytes and as the reader sees it.
struct WrittenAvi {
    Bytes bytes;
    avireader::AviFile avi;

    // Payload of the first chunk `id` of the header lists (of stream `stream` for "strh" and
    // "strf"); empty, and a test failure, when there is none.
    [[nodiscard]] Bytes headerPayload(const char (&id)[5], int stream = 0) const {
        const uint32_t code = avireader::fourcc(id);
        const bool perStream =
            code == avireader::fourcc("strh") || code == avireader::fourcc("strf");
        for (const auto& node : avi.nodes) {
            if (node.id != code || (perStream && node.ref != stream)) continue;
            if (node.offset + 8 + node.size > bytes.size()) break;
            const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(node.offset + 8);
            return {begin, begin + node.size};
        }
        ADD_FAILURE() << "no chunk " << id << " for stream " << stream;
        return {};
    }
    // Payloads of the stream's data chunks in file order.
    [[nodiscard]] Packets streamPayloads(int stream) const {
        Packets payloads;
        for (const auto& chunk : avireader::chunksOfStream(avi, stream)) {
            const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(chunk.offset);
            payloads.emplace_back(begin, begin + chunk.size);
        }
        return payloads;
    }
    [[nodiscard]] uint32_t streamCount() const {
        return avi.mainHeader ? avi.mainHeader->streams : 0xFFFFFFFF;
    }
};

inline WrittenAvi ReadWritten(const std::string& path) {
    WrittenAvi written;
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary);
    written.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    written.avi = avireader::parseAvi(written.bytes.data(), written.bytes.size());
    return written;
}

// Reader and checker problems as one text; empty for a consistent file.
inline std::string Problems(const avireader::AviFile& avi) {
    std::string text;
    for (const auto& problem : avi.problems) text += avireader::toString(problem) + "\n";
    for (const auto& problem : avireader::checkAvi(avi))
        text += avireader::toString(problem) + "\n";
    return text;
}

// Track settings: a video track with its codec's code and cookie, an audio track.
inline iohost::VideoTrackSettings Video(uint32_t width, uint32_t height, const char (&fourcc)[5],
                                        uint32_t rate = 25, uint32_t scale = 1, Bytes cookie = {}) {
    return {width, height, rate, scale, module_test::HostFourcc(fourcc), std::move(cookie)};
}

inline iohost::AudioTrackSettings Audio(uint32_t rate, uint32_t channels, uint32_t bits,
                                        bool isFloat, uint32_t layout) {
    return {rate, channels, bits, isFloat, layout};
}

// `size` bytes with a pattern that differs per seed.
inline Bytes Packet(size_t size, uint32_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed * 31);
    return bytes;
}

class ContainerTest : public module_test::ModuleTest {
protected:
    // A container made through the factory, with contInit answered.
    [[nodiscard]] iohost::Container newContainer() const {
        iohost::Container container;
        EXPECT_EQ(driver().createContainer(module_test::UuidFromHex(module_test::kContainerIdText),
                                           container),
                  errNone);
        EXPECT_EQ(container.init(), errNone);
        return container;
    }
    [[nodiscard]] std::string path(const std::string& name) const {
        return m_dir.file(std::u8string(name.begin(), name.end()));
    }

    TempDir m_dir;
};

}  // namespace container_test
