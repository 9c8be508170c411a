// Host objects used from several threads at once, as different encoders and containers do.
#include <atomic>
#include <thread>
#include <vector>

#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using HostThreadsTest = HostTest;

TEST_F(HostThreadsTest, CountsLoseNothingAndExactlyOneReleaseRetires) {
    // In each round, every thread hammers the count and the properties of one object, then all
    // of them drop their own reference at once. Few rounds: threads start slowly under Wine.
    constexpr uint32_t kThreads = 4;
    for (int round = 0; round < 20; ++round) {
        void* handle = nullptr;
        ASSERT_EQ(create(kCollectionId, handle), errNone);
        for (uint32_t i = 1; i < kThreads; ++i) ASSERT_EQ(host().addRef(handle), errNone);
        std::atomic<uint32_t> ready{0};
        std::atomic<int> zeros{0}, failures{0};
        std::vector<std::thread> threads;
        for (uint32_t i = 0; i < kThreads; ++i) {
            threads.emplace_back([&] {
                for (++ready; ready.load() < kThreads;) std::this_thread::yield();
                uint32_t count = 0;
                for (int k = 0; k < 1000; ++k) {
                    if (call(hostAddRef, handle, &count) != errNone || count < 2) ++failures;
                    if (setInt32(handle, "v", k) != errNone || get(handle, "v") != errNone)
                        ++failures;
                    if (call(hostRelease, handle, &count) != errNone || count < 1) ++failures;
                }
                if (call(hostRelease, handle, &count) == errNone && count == 0) ++zeros;
            });
        }
        for (auto& t : threads) t.join();
        ASSERT_EQ(failures.load(), 0) << "round " << round;
        ASSERT_EQ(zeros.load(), 1) << "round " << round;
    }
}

}  // namespace
}  // namespace iohost_test
