// Reference counts taken and dropped from two threads never lose an update, and exactly one
// Release destroys the object.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/bridge/bridge_test_support.h"

namespace {

using bridge_test::g_liveObjects;
using bridge_test::TestCodec;

TEST(ReferenceCountConcurrencyTest, TwoThreadsHammeringTheCountLoseNothing) {
    bridge_test::ConnectToReferenceHost();
    g_liveObjects = 0;
    constexpr int kRounds = 200000;
    auto* codec = new TestCodec;
    std::atomic<int> zeroSeen{0};
    auto hammer = [&] {
        for (int i = 0; i < kRounds; ++i) {
            codec->AddRef();
            if (codec->Release() == 0) ++zeroSeen;
        }
    };
    std::thread a(hammer), b(hammer);
    a.join();
    b.join();
    EXPECT_EQ(zeroSeen.load(), 0);
    EXPECT_EQ(codec->RefCount(), 1u);

    // Hand one reference to each of two threads; whichever drops last destroys the codec.
    codec->AddRef();
    std::vector<uint32_t> finals(2);
    std::thread c([&] { finals[0] = codec->Release(); });
    std::thread d([&] { finals[1] = codec->Release(); });
    c.join();
    d.join();
    EXPECT_EQ(finals[0] + finals[1], 1u);
    EXPECT_EQ(g_liveObjects, 0);
}

}  // namespace
