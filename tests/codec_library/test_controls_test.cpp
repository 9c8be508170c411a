// The stand-in's thread count. (Its counters are read by the plug-in's call and leak checks, its
// refusals and injected failures by every fault test of the plug-in.)
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "codec_test_support.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

TEST(TestControls, NeitherThreadCountNorConcurrentEncodersChangeThePacket) {
    const codec_test::StreamRow& row = codec_test::streamRow("P0Y2");
    const auto raw = codec_test::makeRawFrame(row.raw, 640, 360, codec_test::Content::Natural, 5);
    std::vector<uint8_t> reference;
    for (uint32_t threads : {1u, 2u, 5u}) {
        parvolux_test_set_threads(threads);
        EXPECT_EQ(parvolux_test_threads(), threads);
        codec_test::Session session(row, 640, 360);
        if (reference.empty()) reference = session.compress(raw);
        EXPECT_EQ(session.compress(raw), reference) << threads << " threads";
    }
    // Encoders on several threads at once, each with its own handle, all through one pool.
    parvolux_test_set_threads(3);
    std::vector<std::vector<uint8_t>> packets(4);
    std::vector<std::thread> threads;
    for (auto& packet : packets)
        threads.emplace_back([&] {
            codec_test::Session session(row, 640, 360);
            for (int i = 0; i < 3; ++i) packet = session.compress(raw);
        });
    for (auto& t : threads) t.join();
    for (const auto& packet : packets) EXPECT_EQ(packet, reference);
    parvolux_test_set_threads(0);
    EXPECT_GE(parvolux_test_threads(), 1u);
}

}  // namespace
