// Every stream gives back exactly what it keeps of its input, at every size, content and
// predictor, in the documented layout; its cookie names it; its compressed-buffer size bounds
// every packet and stays near the raw size; easy content compresses well.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>

#include "codec_test_support.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

using codec_test::Content;

struct Size {
    uint32_t width, height;
};

// One pixel, one column, one row, odd sides, and a frame cut into uneven slices (for 4:2:0 too,
// with a lone last chroma row).
const Size kSizes[] = {{1, 1}, {1, 9}, {9, 1}, {7, 3}, {127, 65}, {1283, 517}};

void expectRoundTrip(const codec_test::StreamRow& row, Size size, Content content,
                     uint32_t predictor = 2) {
    SCOPED_TRACE(testing::Message() << row.fourcc << " " << size.width << "x" << size.height
                                    << " content " << int(content) << " predictor " << predictor);
    EXPECT_EQ(parvolux_test_set_predictor(predictor), 0);
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(row.raw, size.width, size.height, content, size.width + 7);
    codec_test::Session session(row, size.width, size.height);
    const std::vector<uint8_t> packet = session.compress(raw);
    parvolux_test_reset();
    const std::vector<uint8_t>& cookie = session.cookie;
    EXPECT_TRUE(cookie.size() >= 5 && cookie.size() <= 16 &&
                std::equal(row.fourcc, row.fourcc + 4, cookie.begin()) && cookie[4] == 1)
        << "a short cookie naming the stream and bitstream version 1";
    for (bool low : {false, true}) {
        if (low && row.bits == 8) break;
        codec_test::Planes decoded;
        ParvoluxOutputLayout layout{};
        EXPECT_EQ(codec_test::decodePacket(session.cookie, size.width, size.height, packet, decoded,
                                           low, &layout),
                  0);
        EXPECT_EQ(layout.compressedFormat, row.compressed);
        for (unsigned p = 0; p < std::min(layout.planeCount, 3u); ++p) {
            const ParvoluxPlaneLayout& l = layout.plane[p];
            EXPECT_EQ(l.significantBits, row.bits);
            EXPECT_EQ(l.shift, low || row.bits == 8 ? 0 : 16 - row.bits);
            EXPECT_EQ(l.rowBytes, l.width * l.samplesPerPixel * l.bytesPerSample);
            const char* first = row.components == 3 ? "RGB" : row.components == 4 ? "RGBA" : "Y";
            EXPECT_STREQ(l.components, p == 0 ? first : p == 1 ? "U" : "V");
        }
        codec_test::expectSamePlanes(decoded, codec_test::expectedOutput(row, raw, low));
    }
    // Headers and per-chunk bytes aside, the bound is the kept bits of the raw frame.
    EXPECT_LE(session.bufferSize, raw.bytes.size() + raw.bytes.size() / 16 + 64);
    if (size.width * size.height >= 4096) {
        // Noise fills most of the bound, so it is not wildly large; easy content compresses,
        // unless a predictor, the entropy coder or the constant-plane case is broken.
        const double kept = row.bits / (row.bits > 8 ? 16.0 : 8.0);
        const double most[] = {2, 0.25, kept * (row.bits == 8 ? 0.6 : 0.8), 0.01};
        EXPECT_LT(double(packet.size()) / double(raw.bytes.size()), most[int(content)]);
        EXPECT_GE(packet.size() * 100, content == Content::Noise ? session.bufferSize * 95u : 0u);
    }
}

class RoundTrip : public testing::TestWithParam<size_t> {};

TEST_P(RoundTrip, DecodesExactlyWhatTheStreamKeeps) {
    for (size_t size = 0; size < std::size(kSizes); ++size)
        for (Content content : {Content::Noise, Content::Gradient, Content::Natural, Content::Flat})
            expectRoundTrip(codec_test::kStreamRows[GetParam()], kSizes[size], content,
                            uint32_t(size + size_t(content)) % 3);
}

INSTANTIATE_TEST_SUITE_P(AllStreams, RoundTrip, testing::Range<size_t>(0, 16),
                         [](const auto& info) {
                             return codec_test::kStreamRows[info.param].fourcc;
                         });

// Residual counts growing like Fibonacci numbers give a Huffman code one bit deeper per symbol:
// 27 symbols in one slice (a single row, predicted from the left alone) need 26 bits, past the
// library's limit, unless the code is cut to fit.
TEST(RoundTripLarge, SkewedResidualsNeedLimitedCodes) {
    const uint32_t w = 1028429;  // the counts below add up to this
    std::vector<uint8_t> residuals;
    for (uint32_t s = 1, a = 1, b = 1; s <= 27; ++s, a = std::exchange(b, (a + b) | 1))
        residuals.insert(residuals.end(), a, uint8_t(s));
    ASSERT_EQ(residuals.size(), w);
    std::shuffle(residuals.begin(), residuals.end(), std::mt19937(1));
    codec_test::RawFrame raw{w, 1, Content::Flat, 0, {}};
    for (uint32_t x = 0; x < w; ++x)
        raw.bytes.push_back(uint8_t(residuals[x] + (x == 0 ? 128 : raw.bytes[x - 1])));
    raw.bytes.resize(w + (w + 1) / 2 * 2, 0);  // chroma, which the stream drops
    codec_test::Session session(codec_test::streamRow("P8G0"), w, 1);
    const std::vector<uint8_t> packet = session.compress(raw);
    EXPECT_LT(packet.size(), w / 3);
    codec_test::Planes decoded;
    ASSERT_EQ(codec_test::decodePacket(session.cookie, w, 1, packet, decoded), 0);
    codec_test::expectSamePlanes(decoded, {{raw.bytes.begin(), raw.bytes.begin() + w}});
}

}  // namespace
