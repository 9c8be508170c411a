// What the container tests share: a module test with a scratch folder, a video source that runs
// the real encoder and hands each packet to a track from the encoder's callback (as a host does),
// audio packets, and a read-back of the written file with the independent AVI reader so that
// records can be compared byte for byte with golden values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/container.h"
#include "platform/iohost/encoder.h"
#include "tests/fileio/temp_dir.h"
#include "tests/registration/module_fixture.h"

namespace container_test {

// A golden record, field by field, little-endian.
class Golden {
public:
    Golden& u8(uint8_t v);
    Golden& u16(uint16_t v);
    Golden& u32(uint32_t v);
    Golden& u16s(std::initializer_list<uint16_t> values);
    Golden& u32s(std::initializer_list<uint32_t> values);
    Golden& fourcc(const char (&text)[5]);
    Golden& bytes(const std::vector<uint8_t>& more);

    std::vector<uint8_t> data;
};

// The extensible-format SubFormat GUID of a wave format tag (1 PCM, 3 IEEE float).
[[nodiscard]] std::vector<uint8_t> SubFormat(uint16_t tag);

// Empty when equal; otherwise the first differing offset and the sizes.
[[nodiscard]] std::string FirstDifference(const std::vector<uint8_t>& expected,
                                          const std::vector<uint8_t>& actual);

// A written file as bytes and as the reader sees it.
struct WrittenAvi {
    std::vector<uint8_t> bytes;
    avireader::AviFile avi;

    // Payload of the first chunk `id` in the header lists, for stream `stream` where the reader
    // ties the chunk to one ("strh", "strf"); empty (and a test failure) when there is none.
    [[nodiscard]] std::vector<uint8_t> headerPayload(const char (&id)[5], int stream = 0) const;
    // Payloads of the stream's data chunks in file order.
    [[nodiscard]] std::vector<std::vector<uint8_t>> streamPayloads(int stream) const;
    // The main header's stream count, read from the bytes.
    [[nodiscard]] uint32_t streamCount() const;
};

[[nodiscard]] WrittenAvi ReadWritten(const std::string& path);

// Reader and checker problems as one text; empty for a consistent file.
[[nodiscard]] std::string Problems(const avireader::AviFile& avi);

// Compresses frames with the module's "8-bit RGB" encoder; every packet the encoder delivers goes
// to `track` from inside the callback and is kept for comparison.
class VideoSource {
public:
    VideoSource(const iohost::Driver& driver, uint32_t width, uint32_t height, uint32_t rate = 25,
                uint32_t scale = 1);
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    // The settings for the container's video track, with the encoder's code and cookie.
    [[nodiscard]] iohost::VideoTrackSettings trackSettings() const;
    // Encodes frame `index` and delivers its packet to `track`; answers the encoder's code, which
    // is the track's answer to the packet.
    [[nodiscard]] int32_t encode(uint32_t index, iohost::Track& track);

    [[nodiscard]] const std::vector<std::vector<uint8_t>>& packets() const { return m_packets; }
    [[nodiscard]] const std::vector<uint8_t>& cookie() const { return m_encoder.cookie(); }
    [[nodiscard]] uint32_t fourcc() const { return m_fourcc; }

private:
    uint32_t m_width;
    uint32_t m_height;
    uint32_t m_rate;
    uint32_t m_scale;
    uint32_t m_fourcc = 0;
    iohost::Encoder m_encoder;
    iohost::Track* m_target = nullptr;
    std::vector<std::vector<uint8_t>> m_packets;
};

// `frames` sample frames of `blockAlign` bytes each, with a pattern that differs per packet.
[[nodiscard]] std::vector<uint8_t> AudioPacket(uint32_t frames, uint32_t blockAlign, uint32_t seed);

class ContainerTest : public module_test::ModuleTest {
protected:
    // A container made through the factory, with contInit answered.
    [[nodiscard]] iohost::Container newContainer() const;
    [[nodiscard]] std::string path(const std::string& name) const;

    // The plug-in's reference count of an object, seen by taking and dropping one reference.
    [[nodiscard]] static uint32_t refCount(const iohost::PluginObject& object);

    TempDir m_dir;
};

}  // namespace container_test
