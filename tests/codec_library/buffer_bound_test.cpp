// The compressed-buffer size is a true bound, and a modest one.
#include <gtest/gtest.h>

#include <string>

#include "codec_test_support.h"

namespace {

using codec_test::Content;

uint64_t rawBytes(const codec_test::RawFrame& raw) {
    return raw.bytes.size();
}

TEST(BufferBound, NoiseNeverExceedsItAndItStaysNearTheRawSize) {
    const struct {
        uint32_t width, height;
    } sizes[] = {{1, 1}, {2, 1}, {1, 9}, {7, 3}, {64, 64}, {333, 111}, {1280, 720}};
    for (const codec_test::StreamRow& row : codec_test::streamRows()) {
        for (const auto& size : sizes) {
            SCOPED_TRACE(std::string(row.fourcc) + " " + std::to_string(size.width) + "x" +
                         std::to_string(size.height));
            const codec_test::RawFrame raw = codec_test::makeRawFrame(
                row.raw, size.width, size.height, Content::Noise, size.width);
            codec_test::Session session(row, size.width, size.height);
            // Session::compress fails the test if the packet or any write goes past the bound.
            const std::vector<uint8_t> packet = session.compress(raw);
            ASSERT_FALSE(packet.empty());
            // Headers and per-chunk bytes aside, the bound is the kept bits of the raw frame.
            EXPECT_LE(session.bufferSize(), rawBytes(raw) + rawBytes(raw) / 16 + 64);
            if (size.width * size.height >= 4096) {
                // Incompressible input costs at most a little over its kept bits.
                EXPECT_GE(packet.size() * 100, session.bufferSize() * 95u);
            }
        }
    }
}

TEST(BufferBound, RealContentCompresses) {
    // Ratios the codec must reach on easy content; a broken predictor or entropy coder misses them.
    const struct {
        const char* fourcc;
        Content content;
        double maxRatio;  // packet / raw
    } cases[] = {
        {"P8RG", Content::Gradient, 0.25}, {"P8RG", Content::Flat, 0.01},
        {"P8RA", Content::Flat, 0.01},     {"P8Y2", Content::Gradient, 0.25},
        {"P0Y2", Content::Gradient, 0.25}, {"P4RA", Content::Flat, 0.01},
        {"P8Y4", Content::Natural, 0.60},  {"P0Y4", Content::Natural, 0.50},
    };
    for (const auto& c : cases) {
        for (const codec_test::StreamRow& row : codec_test::streamRows()) {
            if (std::string(row.fourcc) != c.fourcc) continue;
            SCOPED_TRACE(std::string(c.fourcc) + " " + codec_test::contentName(c.content));
            const codec_test::RawFrame raw =
                codec_test::makeRawFrame(row.raw, 640, 480, c.content, 11);
            codec_test::Session session(row, 640, 480);
            const std::vector<uint8_t> packet = session.compress(raw);
            EXPECT_LT(static_cast<double>(packet.size()) / rawBytes(raw), c.maxRatio);
        }
    }
}

}  // namespace
