// Corrupt, truncated and mismatched input to the decoder gives a status, never a crash. Run
// under AddressSanitizer, this also proves the decoder stays inside its buffers.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codec_test_support.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

namespace {

using codec_test::Content;

struct Encoded {
    const codec_test::StreamRow* row;
    uint32_t width, height;
    std::vector<uint8_t> cookie, packet;
};

std::vector<Encoded> encodeSamples() {
    std::vector<Encoded> out;
    for (const codec_test::StreamRow& row : codec_test::streamRows()) {
        const uint32_t w = 45, h = 37;
        const Content content = out.size() % 2 == 0 ? Content::Natural : Content::Gradient;
        const codec_test::RawFrame raw = codec_test::makeRawFrame(row.raw, w, h, content, 5);
        codec_test::Session session(row, w, h);
        out.push_back({&row, w, h, session.cookie(), session.compress(raw)});
    }
    return out;
}

TEST(DecoderRobustness, TruncatedPacketsFail) {
    for (const Encoded& e : encodeSamples()) {
        SCOPED_TRACE(e.row->fourcc);
        codec_test::Planes planes;
        for (size_t cut = 0; cut < e.packet.size(); cut += 1 + cut / 8) {
            // An exact-size copy, so that ASan sees any read past the end.
            std::vector<uint8_t> truncated(e.packet.begin(),
                                           e.packet.begin() + static_cast<long>(cut));
            EXPECT_NE(codec_test::decodePacket(e.cookie, e.width, e.height, truncated.data(),
                                               truncated.size(), planes),
                      0)
                << "cut at " << cut;
        }
        std::vector<uint8_t> longer = e.packet;
        longer.push_back(0);
        EXPECT_NE(codec_test::decodePacket(e.cookie, e.width, e.height, longer.data(),
                                           longer.size(), planes),
                  0);
    }
}

TEST(DecoderRobustness, CorruptPacketsNeverCrash) {
    std::mt19937 rng(42);
    size_t failures = 0, total = 0;
    for (const Encoded& e : encodeSamples()) {
        SCOPED_TRACE(e.row->fourcc);
        codec_test::Planes planes;
        for (int trial = 0; trial < 200; ++trial) {
            std::vector<uint8_t> corrupt = e.packet;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f)
                corrupt[rng() % corrupt.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            const int32_t status = codec_test::decodePacket(e.cookie, e.width, e.height,
                                                            corrupt.data(), corrupt.size(), planes);
            EXPECT_TRUE(status == 0 || status == -1) << status;
            failures += status != 0;
            ++total;
        }
    }
    // Most damage is caught by the sizes, tables and code checks; some lands in residuals.
    EXPECT_GT(failures, total / 4);
}

TEST(DecoderRobustness, RejectsBadCookiesSizesAndPlanes) {
    const Encoded e = encodeSamples()[0];
    ParvoluxDecoder* decoder = nullptr;
    std::vector<uint8_t> cookie = e.cookie;
    EXPECT_EQ(parvolux_decoder_open(nullptr, 8, 4, 4, 0, &decoder), -3);
    EXPECT_EQ(parvolux_decoder_open(cookie.data(), cookie.size(), 4, 4, 0, nullptr), -3);
    EXPECT_EQ(parvolux_decoder_open(cookie.data(), 3, 4, 4, 0, &decoder), -3);
    EXPECT_EQ(parvolux_decoder_open(cookie.data(), cookie.size(), 4, 4, 0x80, &decoder), -3);
    EXPECT_EQ(parvolux_decoder_open(cookie.data(), cookie.size(), 0, 4, 0, &decoder), -5);
    EXPECT_EQ(
        parvolux_decoder_open(cookie.data(), cookie.size(), 0xFFFFFFFFu, 0xFFFFFFFFu, 0, &decoder),
        -5);
    cookie[0] = 'X';
    EXPECT_EQ(parvolux_decoder_open(cookie.data(), cookie.size(), 4, 4, 0, &decoder), -3);
    cookie = e.cookie;
    cookie[4] = 99;
    EXPECT_EQ(parvolux_decoder_open(cookie.data(), cookie.size(), 4, 4, 0, &decoder), -4);
    EXPECT_EQ(decoder, nullptr);

    ASSERT_EQ(
        parvolux_decoder_open(e.cookie.data(), e.cookie.size(), e.width, e.height, 0, &decoder), 0);
    ParvoluxOutputLayout layout{};
    ASSERT_EQ(parvolux_decoder_layout(decoder, &layout), 0);
    ASSERT_EQ(layout.planeCount, 1u);
    EXPECT_EQ(layout.plane[0].rowBytes, e.width * 3);
    EXPECT_STREQ(layout.plane[0].components, "RGB");
    std::vector<uint8_t> out(size_t{layout.plane[0].rowBytes} * e.height);
    ParvoluxOutputPlane plane{out.data(), layout.plane[0].rowBytes, out.size() - 1};
    EXPECT_EQ(parvolux_decoder_decode(decoder, e.packet.data(), e.packet.size(), &plane), -3)
        << "one byte short";
    plane = {out.data(), layout.plane[0].rowBytes - 1, out.size()};
    EXPECT_EQ(parvolux_decoder_decode(decoder, e.packet.data(), e.packet.size(), &plane), -3)
        << "stride too small";
    plane = {out.data(), layout.plane[0].rowBytes, out.size()};
    EXPECT_EQ(parvolux_decoder_decode(decoder, nullptr, 10, &plane), -1);
    EXPECT_EQ(parvolux_decoder_decode(decoder, e.packet.data(), e.packet.size(), &plane), 0);
    parvolux_decoder_close(decoder);

    // A packet decoded as a frame of another size fails cleanly.
    codec_test::Planes planes;
    EXPECT_NE(codec_test::decodePacket(e.cookie, e.width + 1, e.height, e.packet.data(),
                                       e.packet.size(), planes),
              0);
    EXPECT_NE(codec_test::decodePacket(e.cookie, e.width, e.height - 1, e.packet.data(),
                                       e.packet.size(), planes),
              0);
}

TEST(DecoderLayout, DescribesEachStreamsOutput) {
    const struct {
        const char* fourcc;
        unsigned planes, components, bytes, shift;
        uint32_t chromaWidth, chromaHeight;  // for a 9x5 frame
        const char* firstName;
    } cases[] = {
        {"P8RG", 1, 3, 1, 0, 0, 0, "RGB"}, {"P8RA", 1, 4, 1, 0, 0, 0, "RGBA"},
        {"P8Y4", 3, 1, 1, 0, 9, 5, "Y"},   {"P8Y2", 3, 1, 1, 0, 5, 5, "Y"},
        {"P8Y0", 3, 1, 1, 0, 5, 3, "Y"},   {"P8G0", 1, 1, 1, 0, 0, 0, "Y"},
        {"P0RG", 1, 3, 2, 6, 0, 0, "RGB"}, {"P2RA", 1, 4, 2, 4, 0, 0, "RGBA"},
        {"P4RG", 1, 3, 2, 2, 0, 0, "RGB"}, {"P0Y4", 3, 1, 2, 6, 9, 5, "Y"},
        {"P0Y2", 3, 1, 2, 6, 5, 5, "Y"},   {"P0Y0", 3, 1, 2, 6, 5, 3, "Y"},
        {"P0G0", 1, 1, 2, 6, 0, 0, "Y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fourcc);
        const codec_test::StreamRow* row = nullptr;
        for (const auto& r : codec_test::streamRows())
            if (std::string(r.fourcc) == c.fourcc) row = &r;
        ASSERT_NE(row, nullptr);
        codec_test::Session session(*row, 9, 5);
        ParvoluxDecoder* decoder = nullptr;
        ASSERT_EQ(parvolux_decoder_open(session.cookie().data(), session.cookie().size(), 9, 5, 0,
                                        &decoder),
                  0);
        ParvoluxOutputLayout layout{};
        ASSERT_EQ(parvolux_decoder_layout(decoder, &layout), 0);
        parvolux_decoder_close(decoder);
        EXPECT_EQ(layout.compressedFormat, row->compressed);
        ASSERT_EQ(layout.planeCount, c.planes);
        EXPECT_EQ(layout.plane[0].width, 9u);
        EXPECT_EQ(layout.plane[0].height, 5u);
        EXPECT_EQ(layout.plane[0].samplesPerPixel, c.components);
        EXPECT_EQ(layout.plane[0].bytesPerSample, c.bytes);
        EXPECT_EQ(layout.plane[0].shift, c.shift);
        EXPECT_EQ(layout.plane[0].significantBits, row->bits);
        EXPECT_EQ(layout.plane[0].rowBytes, 9 * c.components * c.bytes);
        EXPECT_STREQ(layout.plane[0].components, c.firstName);
        if (c.planes == 3) {
            EXPECT_EQ(layout.plane[1].width, c.chromaWidth);
            EXPECT_EQ(layout.plane[2].height, c.chromaHeight);
            EXPECT_STREQ(layout.plane[2].components, "V");
        }
    }
}

}  // namespace
