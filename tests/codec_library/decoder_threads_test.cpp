// Slices are encoded and decoded on the library's thread count, on one pool that several callers
// share. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "codec_test_support.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

using codec_test::Content;

struct Coded {
    codec_test::RawFrame raw;
    std::vector<uint8_t> cookie, packet, damaged;
};

Coded encode(const codec_test::StreamRow& row, uint32_t w, uint32_t h, uint32_t threads) {
    parvolux_test_set_threads(threads);
    Coded c{codec_test::makeRawFrame(row.raw, w, h, Content::Natural, 3), {}, {}, {}};
    codec_test::Session session(row, w, h);
    c.packet = session.compress(c.raw);
    c.cookie = session.cookie;
    c.damaged = c.packet;
    const size_t chunks = size_t{c.packet[1]} * (c.packet[2] | c.packet[3] << 8);
    const uint8_t* last = c.packet.data() + 4 + 4 * (chunks - 1);
    c.damaged[c.packet.size() - (last[0] | last[1] << 8 | last[2] << 16)] = 0xFF;  // predictor 15
    return c;
}

// The packet and the decoded frame do not depend on the thread count, a bad chunk in the last
// slice fails the frame however the work is shared, and callers on several threads, each with
// handles of its own, encode and decode through one pool.
TEST(DecoderThreads, SameOutputOnAnyThreadCountAndFromSeveralCallers) {
    const uint32_t w = 1283, h = 517;
    for (const char* fourcc : {"P8RA", "P8Y0", "P0Y2"}) {
        SCOPED_TRACE(fourcc);
        const codec_test::StreamRow& row = codec_test::streamRow(fourcc);
        const Coded c = encode(row, w, h, 3);
        const codec_test::Planes expected = codec_test::expectedOutput(row, c.raw, false);
        EXPECT_EQ(encode(row, w, h, 1).packet, c.packet) << "the packet depends on the threads";
        for (uint32_t threads : {1u, 2u, 3u}) {
            parvolux_test_set_threads(threads);
            EXPECT_EQ(parvolux_test_threads(), threads);
            codec_test::Planes decoded;
            EXPECT_EQ(codec_test::decodePacket(c.cookie, w, h, c.packet, decoded), 0);
            codec_test::expectSamePlanes(decoded, expected);
            EXPECT_EQ(codec_test::decodePacket(c.cookie, w, h, c.damaged, decoded), -1);
        }
        std::vector<codec_test::Planes> decoded(3);
        std::vector<char> answered(3, 1);  // every call answered as it should
        std::vector<std::thread> callers;
        for (size_t k = 0; k < decoded.size(); ++k)
            callers.emplace_back([&, k] {
                codec_test::Session session(row, w, h);
                for (int round = 0; round < 5; ++round) {  // good and damaged, ending on good
                    const bool bad = round % 2 != 0;
                    answered[k] =
                        answered[k] &&
                        codec_test::decodePacket(c.cookie, w, h, bad ? c.damaged : c.packet,
                                                 decoded[k]) == (bad ? -1 : 0) &&
                        (bad || session.compress(c.raw) == c.packet);
                }
            });
        for (std::thread& t : callers) t.join();
        for (size_t k = 0; k < decoded.size(); ++k) {
            EXPECT_TRUE(answered[k]) << k;
            codec_test::expectSamePlanes(decoded[k], expected);
        }
    }
    parvolux_test_reset();
    EXPECT_GE(parvolux_test_threads(), 1u) << "the default";
}

}  // namespace
