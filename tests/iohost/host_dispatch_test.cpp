// The host as plug-ins reach it: through hostDispatch with the C argument types. The plain paths
// are walked by every encode through the real module; these are the edges.
#include <cstring>
#include <string>
#include <vector>

#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using HostDispatchTest = HostTest;

// A null argument with the C type a plug-in passes.
const void* const kNoData = nullptr;

TEST_F(HostDispatchTest, RefusesBadHandlesAndArguments) {
    int notAnObject = 0;
    auto list = host().createList();
    auto callback = host().createCallback();
    auto buffer = host().createBuffer();
    void* b = buffer.handle();
    void* dead = nullptr;  // made last, so that no later object can reuse its address
    ASSERT_EQ(create(kCollectionId, dead), errNone);
    ASSERT_EQ(host().release(dead), errNone);
    uint8_t unknownId[16] = {};
    void* out = &unknownId;
    void* data = nullptr;
    uint64_t size = 0;
    uint32_t count = 0, type = 0;
    // Null arguments with the C types a plug-in passes.
    const char* noText = nullptr;
    void** noSlot = nullptr;
    const void** noValue = nullptr;
    uint64_t* noSize = nullptr;
    uint8_t* noFlag = nullptr;
    const void* bufferId = kBufferId;
    const void* bytes = &count;
    const uint32_t int32Type = propInt32, unknownType = 3;
    const struct {
        const char* what;
        int32_t answer, expected;
    } cases[] = {
        {"add a reference to a retired object", call(hostAddRef, dead, &count), errNoObject},
        {"release a retired object", call(hostRelease, dead, &count), errNoObject},
        {"set on a retired object", setInt32(dead, "k", 1), errNoObject},
        {"set on a foreign pointer", setInt32(&notAnObject, "k", 1), errNoObject},
        {"set on a list", setInt32(list.handle(), "k", 1), errNoObject},
        {"get on a callback", get(callback.handle(), "k"), errNoObject},
        {"append a retired object", call(hostListAdd, list.handle(), dead), errNoObject},
        {"lock a collection",
         call(hostBufferLock, host().createCollection().handle(), &data, &size), errNoObject},
        {"append to a buffer", call(hostListAdd, b, b), errNoObject},
        {"deliver to a buffer", call(hostDeliver, b, b), errNoObject},
        {"deliver a list", call(hostDeliver, callback.handle(), list.handle()), errNoObject},
        {"create an unknown class", create(unknownId, out), errUnsupported},
        {"create without a class id", call(hostCreateObject, kNoData, &out), errInvalidParam},
        {"create without a slot", call(hostCreateObject, bufferId, noSlot), errInvalidParam},
        {"set, no key", call(hostSetProperty, b, noText, int32Type, bytes, 1u), errInvalidParam},
        {"set without data", call(hostSetProperty, b, "k", int32Type, kNoData, 1u),
         errInvalidParam},
        {"set, unknown type", call(hostSetProperty, b, "k", unknownType, bytes, 1u),
         errUnsupported},
        {"get a missing key", get(b, "missing"), errMissingProperty},
        {"get, no value slot", call(hostGetProperty, b, "k", &type, noValue, &count),
         errInvalidParam},
        {"lock without slots", call(hostBufferLock, b, noSlot, noSize), errInvalidParam},
        {"log without a text", call(hostLog, 0u, noText), errInvalidParam},
        {"query, no flag", call(hostQuery, callback.handle(), int64_t{1}, noFlag), errInvalidParam},
        {"unknown selector", call(0x55u), errUnsupported},
    };
    uint64_t stale = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(c.answer, c.expected) << c.what;
        stale += c.expected == errNoObject ? 1 : 0;
    }
    EXPECT_EQ(host().badHandles(), stale) << "only live handles count, and null is none";
    EXPECT_EQ(out, static_cast<void*>(&unknownId)) << "a refused creation leaves the slot alone";
    host().reset();
}

// Types, counts and bytes are read back by every listing and encode through the real module; what
// they cannot see is that an empty value has an address, which stays put as other keys are added.
TEST_F(HostDispatchTest, ValuesHaveAnAddressThatStaysPut) {
    auto collection = host().createCollection();
    void* c = collection.handle();
    const auto address = [&](const char* key) {
        uint32_t type = 0, count = 9;
        const void* data = nullptr;
        EXPECT_EQ(call(hostGetProperty, c, key, &type, &data, &count), errNone);
        EXPECT_EQ(count, 0u);
        return data;
    };
    ASSERT_EQ(call(hostSetProperty, c, "empty", uint32_t{propString}, kNoData, 0u), errNone);
    const void* first = address("empty");
    EXPECT_NE(first, nullptr);
    for (int i = 0; i < 500; ++i) (void)setInt32(c, ("key" + std::to_string(i)).c_str(), i);
    EXPECT_EQ(address("empty"), first);
}

TEST_F(HostDispatchTest, BufferLocksNestAndPinTheBytes) {
    auto buffer = host().createBuffer();
    void* b = buffer.handle();
    void* data = nullptr;
    uint64_t size = 1;
    ASSERT_EQ(call(hostBufferLock, b, &data, &size), errNone);
    EXPECT_NE(data, nullptr) << "even an empty buffer has an address";
    EXPECT_EQ(size, 0u);
    ASSERT_EQ(call(hostBufferUnlock, b), errNone);

    ASSERT_EQ(call(hostBufferSetSize, b, uint64_t{16}), errNone);
    ASSERT_EQ(call(hostBufferLock, b, &data, &size), errNone);
    ASSERT_EQ(size, 16u);
    std::memset(data, 0xAB, 16);
    void* inner = nullptr;
    ASSERT_EQ(call(hostBufferLock, b, &inner, &size), errNone);
    EXPECT_EQ(inner, data);
    EXPECT_EQ(call(hostBufferSetSize, b, uint64_t{4}), errFail) << "resizing moves locked bytes";
    EXPECT_EQ(call(hostBufferUnlock, b), errNone);
    EXPECT_TRUE(buffer->isLocked()) << "one lock is still held";
    EXPECT_EQ(call(hostBufferUnlock, b), errNone);
    EXPECT_EQ(call(hostBufferUnlock, b), errFail) << "unbalanced unlock";
    ASSERT_EQ(call(hostBufferSetSize, b, uint64_t{4}), errNone);
    EXPECT_EQ(buffer->contents(), std::vector<uint8_t>(4, 0xAB));
}

// An export makes and drops a frame-sized buffer or two a frame: a new buffer takes the memory of
// one that died, if it is of its size, and growing keeps the bytes.
TEST_F(HostDispatchTest, BuffersTakeTheMemoryOfBuffersThatDied) {
    constexpr uint64_t kFrame = 3 << 20;
    const auto sizedAt = [&](uint64_t bytes) {
        auto buffer = host().createBuffer();
        void* data = nullptr;
        uint64_t size = 0;
        EXPECT_EQ(call(hostBufferSetSize, buffer.handle(), bytes), errNone);
        EXPECT_EQ(call(hostBufferLock, buffer.handle(), &data, &size), errNone);
        EXPECT_EQ(call(hostBufferUnlock, buffer.handle()), errNone);
        return data;
    };
    const void* first = sizedAt(kFrame);
    EXPECT_EQ(sizedAt(kFrame - 100), first);
    EXPECT_NE(sizedAt(16), first) << "a small buffer does not hold a frame's memory";
    EXPECT_EQ(sizedAt(kFrame), first);

    auto buffer = host().createBuffer();
    void* b = buffer.handle();
    void* data = nullptr;
    uint64_t size = 0;
    ASSERT_EQ(call(hostBufferSetSize, b, uint64_t{16}), errNone);
    ASSERT_EQ(call(hostBufferLock, b, &data, &size), errNone);
    std::memset(data, 0xCD, 16);
    ASSERT_EQ(call(hostBufferUnlock, b), errNone);
    ASSERT_EQ(call(hostBufferSetSize, b, kFrame), errNone);
    ASSERT_EQ(call(hostBufferSetSize, b, uint64_t{16}), errNone);
    EXPECT_EQ(buffer->contents(), std::vector<uint8_t>(16, 0xCD));
}

// The plug-in's fault tests arm every switch and expect its refusal; what they cannot see is
// which call a counted switch hits, and the callback's own answers.
TEST_F(HostDispatchTest, TheNthCallFailsAndTheCallbackAnswersForItsSink) {
    auto buffer = host().createBuffer();
    auto callback = host().createCallback();
    void* delivered = nullptr;
    callback->setSink([&](iohost::HostRef<iohost::HostBuffer> packet) {
        delivered = packet.handle();
        return int32_t{-77};
    });
    void* b = buffer.handle();
    void* data = nullptr;
    uint64_t size = 0;
    auto& faults = host().faults();
    // The n-th call of an operation from now fails and does nothing; the others go through.
    faults.failNth(iohost::HostOperation::Set, 3, -99);
    faults.failNth(iohost::HostOperation::Unlock, 1, -42);
    std::vector<int32_t> answers;
    for (int i = 0; i < 5; ++i) answers.push_back(setInt32(b, "k", i));
    EXPECT_EQ(answers, (std::vector<int32_t>{0, 0, -99, 0, 0}));
    EXPECT_EQ(buffer->getInt32("k"), 4);
    ASSERT_EQ(call(hostBufferLock, b, &data, &size), errNone);
    EXPECT_EQ(call(hostBufferUnlock, b), -42);
    EXPECT_EQ(call(hostBufferUnlock, b), errNone);
    EXPECT_FALSE(buffer->isLocked());

    EXPECT_EQ(call(hostDeliver, callback.handle(), b), -77);
    EXPECT_EQ(delivered, b);
    uint8_t flag = 1;
    callback->setQueryAnswer(false);
    EXPECT_EQ(call(hostQuery, callback.handle(), int64_t{-5}, &flag), errNone);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(callback->lastQueryValue(), int64_t{-5});
}

}  // namespace
}  // namespace iohost_test
