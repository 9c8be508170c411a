// Test-side model of the codec library's formats, written from the product's format table and
// the library's documented layouts rather than from the library's code: the sixteen streams,
// raw frame layouts, content generators, and the decoded output each raw frame must give back.
#ifndef PARVOLUX_TESTS_CODEC_LIBRARY_CODEC_TEST_SUPPORT_H
#define PARVOLUX_TESTS_CODEC_LIBRARY_CODEC_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

namespace codec_test {

struct StreamRow {
    uint32_t compressed;
    const char* fourcc;
    uint32_t raw;
    const char* rawName;
    unsigned bits;
};

// The sixteen (raw, compressed) pairs, in the format table's order.
const std::vector<StreamRow>& streamRows();

enum class Content { Noise, Gradient, Natural, Flat };
const char* contentName(Content content);

// A raw frame as the library reads it: planes back to back, rows tightly packed.
struct RawFrame {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bytes;
    std::vector<size_t> planeOffset;
    std::vector<uint32_t> planeStride, planeRows;
};

RawFrame makeRawFrame(uint32_t rawCode, uint32_t width, uint32_t height, Content content,
                      uint32_t seed);

// Decoded output in the documented layout: one tightly packed buffer per output plane.
using Planes = std::vector<std::vector<uint8_t>>;
Planes expectedOutput(const StreamRow& row, const RawFrame& raw, bool lowAligned = false);

// The extended-form FrameFormat records the plug-in passes to compress_begin.
FrameFormat extendedIn(uint32_t rawCode, uint32_t width, uint32_t height);
FrameFormat extendedOut(uint32_t compressedCode);
FrameFormat shortForm(uint32_t code, uint32_t width, uint32_t height);

// Library init + open, compress_begin; closes at destruction. Fails the test on any error.
class Session {
public:
    Session(const StreamRow& row, uint32_t width, uint32_t height);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    std::vector<uint8_t> compress(const RawFrame& raw);
    uint32_t handle() const { return m_handle; }
    uint32_t bufferSize() const { return m_bufferSize; }
    const std::vector<uint8_t>& cookie() const { return m_cookie; }

private:
    uint32_t m_handle = 0;
    FrameFormat m_in{};
    uint32_t m_bufferSize = 0;
    std::vector<uint8_t> m_cookie;
};

// Decodes one packet; answers the decoder's status and the planes.
int32_t decodePacket(const std::vector<uint8_t>& cookie, uint32_t width, uint32_t height,
                     const uint8_t* packet, size_t size, Planes& out, bool lowAligned = false);

// Index of the first differing byte, or -1.
long long firstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace codec_test

#endif
