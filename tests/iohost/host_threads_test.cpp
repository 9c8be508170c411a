// Host objects used from several threads at once, as different encoders and containers do.
// Meant for the ThreadSanitizer build as much as for the counts checked here.
#include <atomic>
#include <thread>
#include <vector>

#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using HostThreadsTest = HostTest;

constexpr uint8_t kCollectionId[16] = IOP_PROPERTY_COLLECTION_CLASS_ID;

TEST_F(HostThreadsTest, TwoThreadsHammeringAddRefAndRelease) {
    auto collection = host().createCollection();
    void* handle = collection.handle();
    constexpr int kRounds = 50000;
    std::atomic<int> failures{0};
    const auto hammer = [&] {
        for (int i = 0; i < kRounds; ++i) {
            uint32_t count = 0;
            if (call(hostAddRef, handle, &count) != errNone || count < 2) failures.fetch_add(1);
            if (call(hostRelease, handle, &count) != errNone || count < 1) failures.fetch_add(1);
        }
    };
    std::thread a(hammer), b(hammer);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(collection->refCount(), 1u);
}

TEST_F(HostThreadsTest, ExactlyOneOfManyReleasesRetiresTheObject) {
    // Few rounds (threads start slowly under Wine), each released by every thread at once.
    constexpr uint32_t kThreads = 4;
    for (int round = 0; round < 50; ++round) {
        void* handle = nullptr;
        ASSERT_EQ(call(hostCreateObject, static_cast<const void*>(kCollectionId), &handle),
                  errNone);
        for (uint32_t i = 1; i < kThreads; ++i) ASSERT_EQ(host().addRef(handle), errNone);
        std::atomic<uint32_t> ready{0};
        std::atomic<int> zeros{0};
        std::vector<std::thread> threads;
        threads.reserve(kThreads);
        for (uint32_t i = 0; i < kThreads; ++i) {
            threads.emplace_back([&] {
                ready.fetch_add(1);
                while (ready.load() < kThreads) std::this_thread::yield();
                uint32_t count = 99;
                if (call(hostRelease, handle, &count) == errNone && count == 0) zeros.fetch_add(1);
            });
        }
        for (auto& t : threads) t.join();
        ASSERT_EQ(zeros.load(), 1) << "round " << round;
        ASSERT_EQ(host().liveObjects(), 0u);
    }
}

TEST_F(HostThreadsTest, IndependentObjectsOnSeveralThreads) {
    constexpr int kThreads = 4;
    constexpr int kObjects = 500;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    auto shared = host().createCollection();
    auto list = host().createList();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kObjects; ++i) {
                void* h = nullptr;
                if (call(hostCreateObject, static_cast<const void*>(kCollectionId), &h) != errNone)
                    failures.fetch_add(1);
                const int32_t value = t * kObjects + i;
                if (call(hostSetProperty, h, "v", uint32_t{propInt32},
                         static_cast<const void*>(&value), uint32_t{1}) != errNone)
                    failures.fetch_add(1);
                // Every thread also writes and reads one shared collection.
                (void)call(hostSetProperty, shared.handle(), "last", uint32_t{propInt32},
                           static_cast<const void*>(&value), uint32_t{1});
                uint32_t type = 0, count = 0;
                const void* data = nullptr;
                if (call(hostGetProperty, shared.handle(), "last", &type, &data, &count) != errNone)
                    failures.fetch_add(1);
                if (i % 10 == 0 && call(hostListAdd, list.handle(), h) != errNone)
                    failures.fetch_add(1);
                if (call(hostRelease, h, &count) != errNone) failures.fetch_add(1);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(list->size(), size_t{kThreads * kObjects / 10});
    EXPECT_EQ(host().liveObjects(), 2u + kThreads * kObjects / 10);
}

}  // namespace
}  // namespace iohost_test
