// Every stream decodes back to exactly what it kept of its input, at every size and content.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "codec_test_support.h"

namespace {

using codec_test::Content;

struct Size {
    uint32_t width, height;
};

const Size kSizes[] = {{1, 1}, {2, 2}, {3, 5}, {127, 65}, {1920, 1080}};
const Content kContents[] = {Content::Noise, Content::Gradient, Content::Natural, Content::Flat};

void expectRoundTrip(const codec_test::StreamRow& row, uint32_t width, uint32_t height,
                     Content content, uint32_t seed) {
    SCOPED_TRACE(std::string(row.fourcc) + " " + std::to_string(width) + "x" +
                 std::to_string(height) + " " + codec_test::contentName(content));
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(row.raw, width, height, content, seed);
    codec_test::Session session(row, width, height);
    const std::vector<uint8_t> packet = session.compress(raw);
    codec_test::Planes decoded;
    ASSERT_EQ(codec_test::decodePacket(session.cookie(), width, height, packet.data(),
                                       packet.size(), decoded),
              0);
    const codec_test::Planes expected = codec_test::expectedOutput(row, raw);
    ASSERT_EQ(decoded.size(), expected.size());
    for (size_t p = 0; p < expected.size(); ++p)
        EXPECT_EQ(codec_test::firstDifference(decoded[p], expected[p]), -1) << "plane " << p;
}

class RoundTrip : public testing::TestWithParam<std::tuple<size_t, Size>> {};

TEST_P(RoundTrip, DecodesExactlyWhatTheStreamKeeps) {
    const auto& [rowIndex, size] = GetParam();
    const codec_test::StreamRow& row = codec_test::streamRows()[rowIndex];
    uint32_t seed = 1;
    for (Content content : kContents)
        expectRoundTrip(row, size.width, size.height, content, seed++);
}

std::string roundTripName(const testing::TestParamInfo<RoundTrip::ParamType>& info) {
    const size_t rowIndex = std::get<0>(info.param);
    const Size size = std::get<1>(info.param);
    return std::string(codec_test::streamRows()[rowIndex].fourcc) + "_" +
           std::to_string(size.width) + "x" + std::to_string(size.height);
}

INSTANTIATE_TEST_SUITE_P(AllStreams, RoundTrip,
                         testing::Combine(testing::Range<size_t>(0, 16), testing::ValuesIn(kSizes)),
                         roundTripName);

// The largest frames, for one stream of each kind of layout.
TEST(RoundTripLarge, UltraHdFrames) {
    for (const char* fourcc : {"P8RG", "P8Y2", "P0Y0", "P4RA"}) {
        for (const codec_test::StreamRow& row : codec_test::streamRows())
            if (std::string(row.fourcc) == fourcc)
                expectRoundTrip(row, 4096, 2160, Content::Natural, 7);
    }
}

// Samples that carry only the stream's bits come back unchanged, high- or low-aligned.
TEST(RoundTripDepth, HighBitStreamsKeepTheirTopBits) {
    for (const codec_test::StreamRow& row : codec_test::streamRows()) {
        if (row.bits == 8) continue;
        SCOPED_TRACE(row.fourcc);
        const codec_test::RawFrame raw =
            codec_test::makeRawFrame(row.raw, 33, 17, Content::Noise, 3);
        codec_test::Session session(row, 33, 17);
        const std::vector<uint8_t> packet = session.compress(raw);
        for (bool low : {false, true}) {
            codec_test::Planes decoded;
            ASSERT_EQ(codec_test::decodePacket(session.cookie(), 33, 17, packet.data(),
                                               packet.size(), decoded, low),
                      0);
            const codec_test::Planes expected = codec_test::expectedOutput(row, raw, low);
            for (size_t p = 0; p < expected.size(); ++p)
                EXPECT_EQ(codec_test::firstDifference(decoded[p], expected[p]), -1)
                    << "plane " << p << " low " << low;
            // Low-aligned values never exceed the stream's bit depth.
            if (low) {
                for (size_t i = 1; i < decoded[0].size(); i += 2)
                    ASSERT_LT(decoded[0][i], 1u << (row.bits - 8));
            }
        }
    }
}

}  // namespace
