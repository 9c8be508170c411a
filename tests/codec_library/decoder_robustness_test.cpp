// Truncated, overlong and mismatched input to the decoder gives a failing status, never a crash.
// Run under AddressSanitizer, this also proves the decoder stays inside its buffers.
#include <gtest/gtest.h>

#include "codec_test_support.h"

namespace {

// Random damage is the fuzzer's (under AddressSanitizer); here the damage the decoder must
// notice: every truncation, one byte too many, and a frame size that is not the packet's.
TEST(DecoderRobustness, DamagedPacketsFailCleanly) {
    for (const codec_test::StreamRow& row : codec_test::kStreamRows) {
        SCOPED_TRACE(row.fourcc);
        const uint32_t w = 45, h = 37;
        codec_test::Session session(row, w, h);
        const auto content = codec_test::Content(1 + (&row - codec_test::kStreamRows) % 2);
        const auto packet = session.compress(codec_test::makeRawFrame(row.raw, w, h, content, 5));
        codec_test::Planes planes;
        // Exact-size copies, so that ASan sees any read past the end.
        for (size_t cut = 0; cut < packet.size(); cut += 1 + cut / 8) {
            const std::vector<uint8_t> head(packet.begin(), packet.begin() + long(cut));
            EXPECT_NE(codec_test::decodePacket(session.cookie, w, h, head, planes), 0) << cut;
        }
        std::vector<uint8_t> longer = packet;
        longer.push_back(0);
        EXPECT_NE(codec_test::decodePacket(session.cookie, w, h, longer, planes), 0);
        EXPECT_NE(codec_test::decodePacket(session.cookie, w + 1, h, packet, planes), 0);
        EXPECT_NE(codec_test::decodePacket(session.cookie, w, h - 1, packet, planes), 0);
    }
}

TEST(DecoderRobustness, RejectsBadCookiesSizesAndPlanes) {
    const uint32_t w = 45, h = 37;
    codec_test::Session session(codec_test::kStreamRows[0], w, h);
    const auto packet =
        session.compress(codec_test::makeRawFrame(22, w, h, codec_test::Content::Natural, 5));
    const std::vector<uint8_t>& good = session.cookie;
    std::vector<uint8_t> badName = good, badVersion = good;
    badName[0] = 'X';
    badVersion[4] = 99;
    ParvoluxDecoder* decoder = nullptr;
    const auto open = [&](const uint8_t* cookie, uint64_t size, uint32_t width, uint32_t height,
                          uint32_t flags) {
        const int32_t status = parvolux_decoder_open(cookie, size, width, height, flags, &decoder);
        EXPECT_EQ(decoder, nullptr);
        return status;
    };
    EXPECT_EQ(open(nullptr, 8, 4, 4, 0), -3);
    EXPECT_EQ(open(good.data(), 3, 4, 4, 0), -3);
    EXPECT_EQ(open(good.data(), good.size(), 4, 4, 0x80), -3) << "unknown flag";
    EXPECT_EQ(open(badName.data(), good.size(), 4, 4, 0), -3);
    EXPECT_EQ(open(badVersion.data(), good.size(), 4, 4, 0), -4);
    EXPECT_EQ(open(good.data(), good.size(), 0, 4, 0), -5);
    EXPECT_EQ(open(good.data(), good.size(), 0xFFFFFFFFu, 0xFFFFFFFFu, 0), -5);
    EXPECT_EQ(parvolux_decoder_open(good.data(), good.size(), 4, 4, 0, nullptr), -3);

    ASSERT_EQ(parvolux_decoder_open(good.data(), good.size(), w, h, 0, &decoder), 0);
    std::vector<uint8_t> out(size_t{w} * 3 * h);
    const auto decode = [&](const void* data, uint32_t stride, uint64_t bytes) {
        const ParvoluxOutputPlane plane{out.data(), stride, bytes};
        return parvolux_decoder_decode(decoder, data, data ? packet.size() : 10, &plane);
    };
    EXPECT_EQ(decode(packet.data(), w * 3, out.size() - 1), -3) << "one byte short";
    EXPECT_EQ(decode(packet.data(), w * 3 - 1, out.size()), -3) << "stride too small";
    EXPECT_EQ(decode(nullptr, w * 3, out.size()), -1);
    EXPECT_EQ(decode(packet.data(), w * 3, out.size()), 0);
    parvolux_decoder_close(decoder);
}

}  // namespace
