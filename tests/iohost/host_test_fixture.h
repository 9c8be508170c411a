// Every host test starts from a clean host and must end with no live host object and no bad
// handle: a leak or a stale handle anywhere in the test fails it.
#pragma once

#include <gtest/gtest.h>

#include "platform/iohost/host/host.h"

namespace iohost_test {

inline constexpr uint8_t kCollectionId[16] = IOP_PROPERTY_COLLECTION_CLASS_ID;
inline constexpr uint8_t kBufferId[16] = IOP_BUFFER_CLASS_ID;

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host().reset();
        ASSERT_EQ(host().liveObjects(), 0u) << "an earlier test leaked host objects";
    }
    void TearDown() override {
        EXPECT_EQ(host().liveObjects(), 0u) << "host objects leaked";
        EXPECT_EQ(host().badHandles(), 0u) << "a stale or foreign handle reached the host";
        host().reset();
    }

    static iohost::Host& host() { return iohost::Host::instance(); }

    // The host as a plug-in reaches it: hostDispatch with the C argument types.
    template <class... Args>
    static int32_t call(uint32_t selector, Args... args) {
        return hostDispatch(selector, args...);
    }
    static int32_t create(const uint8_t (&id)[16], void*& handle) {
        return call(hostCreateObject, static_cast<const void*>(id), &handle);
    }
    static int32_t setInt32(void* handle, const char* key, int32_t value) {
        return call(hostSetProperty, handle, key, uint32_t{propInt32},
                    static_cast<const void*>(&value), uint32_t{1});
    }
    static int32_t get(void* handle, const char* key) {
        uint32_t type = 0, count = 0;
        const void* data = nullptr;
        return call(hostGetProperty, handle, key, &type, &data, &count);
    }
};

}  // namespace iohost_test
