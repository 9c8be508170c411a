// Reference counts taken and dropped from two threads never lose an update, and exactly one
// Release destroys the object.
#include <atomic>
#include <thread>

#include "tests/bridge/bridge_test_support.h"

namespace {

using namespace bridge_test;
using ReferenceCountConcurrencyTest = BridgeTest;

TEST_F(ReferenceCountConcurrencyTest, TwoThreadsHammeringTheCountLoseNothing) {
    auto* codec = new TestCodec;
    std::atomic<int> zeroSeen{0};
    const auto hammer = [&] {
        for (int i = 0; i < 200000; ++i) {
            codec->AddRef();
            zeroSeen += codec->Release() == 0;
        }
    };
    { const std::jthread a(hammer), b(hammer); }
    EXPECT_EQ(zeroSeen.load(), 0);
    EXPECT_EQ(codec->AddRef(), 2u);
    // One reference for each of two threads: whichever drops last destroys the codec.
    uint32_t last[2] = {};
    {
        const std::jthread c([&] { last[0] = codec->Release(); }),
            d([&] { last[1] = codec->Release(); });
    }
    EXPECT_EQ(last[0] + last[1], 1u);  // the fixture sees that it is gone
}

}  // namespace
