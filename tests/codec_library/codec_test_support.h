// Test-side model of the codec library's streams, written from the product's format table and
// the library's documented layouts rather than from the library's code: raw frames made from a
// sample generator, and the decoded output each raw frame must give back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/parvolux_decoder.h"
#include "stream_rows.h"

namespace codec_test {

const StreamRow& streamRow(const std::string& fourcc);

enum class Content { Noise, Gradient, Natural, Flat };

// A raw frame as the library reads it: planes back to back, rows tightly packed.
struct RawFrame {
    uint32_t width = 0, height = 0;
    Content content = Content::Noise;
    uint32_t seed = 0;
    std::vector<uint8_t> bytes;
};
RawFrame makeRawFrame(uint32_t rawCode, uint32_t width, uint32_t height, Content content,
                      uint32_t seed);

// Decoded output: one tightly packed buffer per plane.
using Planes = std::vector<std::vector<uint8_t>>;
// What the decoder must give back for `raw` in the row's output layout: the top bits of each
// generated sample, 4:2:0 chroma of 4:2:2 input as the rounded mean of each vertical pair.
Planes expectedOutput(const StreamRow& row, const RawFrame& raw, bool lowAligned);

// The extended-form records the plug-in passes, and the short form.
inline FrameFormat extendedIn(uint32_t rawCode, uint32_t width, uint32_t height) {
    return FrameFormat{width, height, parvoluxFormatExtended, 1, rawCode, 0, 0, 1, 0};
}
inline FrameFormat extendedOut(uint32_t compressedCode) {
    return FrameFormat{0, 0, parvoluxFormatExtended, 1, compressedCode, 0, 0, 0, 0};
}
inline FrameFormat shortForm(uint32_t code, uint32_t width, uint32_t height) {
    return FrameFormat{width, height, code, 0, 0, 0, 0, 0, 0};
}

// Library init + open, compress_begin; closes at destruction. Fails the test on any error.
struct Session {
    Session(const StreamRow& row, uint32_t width, uint32_t height);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    // Also fails the test when the packet or any write goes past bufferSize.
    std::vector<uint8_t> compress(const RawFrame& raw);

    FrameFormat in{};
    uint32_t handle = 0, bufferSize = 0;
    std::vector<uint8_t> cookie;
};

// Decodes one packet into planes sized from the decoder's layout; answers the decoder's status.
int32_t decodePacket(const std::vector<uint8_t>& cookie, uint32_t width, uint32_t height,
                     const std::vector<uint8_t>& packet, Planes& out, bool lowAligned = false,
                     ParvoluxOutputLayout* layout = nullptr);

// Fails the test at the first differing byte of each plane.
void expectSamePlanes(const Planes& actual, const Planes& expected);

}  // namespace codec_test
