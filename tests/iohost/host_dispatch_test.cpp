// The host as a plug-in reaches it: through hostDispatch with the C argument types. The plain
// paths are also walked by every encode through the real module; these are the edges.
#include <cstring>
#include <string>
#include <vector>

#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using HostDispatchTest = HostTest;

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    return {p, p + size};
}

TEST_F(HostDispatchTest, CreatesCountsAndRetiresObjects) {
    void* collection = nullptr;
    void* buffer = nullptr;
    ASSERT_EQ(create(kCollectionId, collection), errNone);
    ASSERT_EQ(create(kBufferId, buffer), errNone);
    EXPECT_EQ(host().find(collection)->kind(), iohost::ObjectKind::PropertyCollection);
    EXPECT_EQ(host().find(buffer)->kind(), iohost::ObjectKind::Buffer);
    uint32_t counts[3] = {};
    ASSERT_EQ(call(hostAddRef, buffer, &counts[0]), errNone);
    ASSERT_EQ(call(hostRelease, buffer, &counts[1]), errNone);
    ASSERT_EQ(call(hostRelease, buffer, &counts[2]), errNone);
    EXPECT_EQ(std::vector<uint32_t>(counts, counts + 3), (std::vector<uint32_t>{2, 1, 0}));
    EXPECT_EQ(host().liveHandles(), std::vector<void*>{collection}) << "what a plug-in leaks";
    ASSERT_EQ(host().release(collection), errNone);
}

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
    const void* noId = nullptr;
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
        {"lock a collection",
         call(hostBufferLock, host().createCollection().handle(), &data, &size), errNoObject},
        {"append to a buffer", call(hostListAdd, b, b), errNoObject},
        {"append a retired object", call(hostListAdd, list.handle(), dead), errNoObject},
        {"deliver to a buffer", call(hostDeliver, b, b), errNoObject},
        {"deliver a list", call(hostDeliver, callback.handle(), list.handle()), errNoObject},
        {"create an unknown class", create(unknownId, out), errUnsupported},
        {"create without a class id", call(hostCreateObject, noId, &out), errInvalidParam},
        {"create without a slot", call(hostCreateObject, bufferId, noSlot), errInvalidParam},
        {"set, no key", call(hostSetProperty, b, noText, int32Type, bytes, 1u), errInvalidParam},
        {"set without data", call(hostSetProperty, b, "k", int32Type, noId, 1u), errInvalidParam},
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

TEST_F(HostDispatchTest, PropertiesKeepTypeCountAndACopyOfTheBytes) {
    auto collection = host().createCollection();
    void* c = collection.handle();
    const uint8_t bytes[3] = {1, 2, 255};
    const int32_t ints[2] = {30000, -1001};
    const int64_t wide = -0x123456789AB;
    const struct {
        const char* key;
        uint32_t type, count;
        const void* data;
        size_t size;
    } cases[] = {
        {"u8", propUInt8, 3, bytes, 3},       {"i32", propInt32, 2, ints, 8},
        {"i64", propInt64, 1, &wide, 8},      {"str", propString, 3, "abc", 3},
        {"empty", propString, 0, nullptr, 0},
    };
    const void* first = nullptr;
    for (const auto& k : cases) {
        SCOPED_TRACE(k.key);
        ASSERT_EQ(call(hostSetProperty, c, k.key, k.type, k.data, k.count), errNone);
        uint32_t type = 0, count = 99;
        const void* data = nullptr;
        ASSERT_EQ(call(hostGetProperty, c, k.key, &type, &data, &count), errNone);
        EXPECT_EQ(type, k.type);
        EXPECT_EQ(count, k.count);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(Bytes(data, k.size), Bytes(k.data, k.size));
        EXPECT_TRUE(k.data == nullptr || data != k.data) << "a copy, not the caller's bytes";
        if (first == nullptr) first = data;
    }
    // A value's storage stays put while other keys are added.
    for (int i = 0; i < 500; ++i) (void)setInt32(c, ("key" + std::to_string(i)).c_str(), i);
    uint32_t type = 0, count = 0;
    const void* again = nullptr;
    ASSERT_EQ(call(hostGetProperty, c, "u8", &type, &again, &count), errNone);
    EXPECT_EQ(first, again);
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

    // The switches that answer a null pointer or a zero size still lock.
    host().faults().lockWithNullPointer(true);
    ASSERT_EQ(call(hostBufferLock, b, &data, &size), errNone);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 4u);
    host().faults().reset();
    host().faults().lockWithZeroSize(true);
    ASSERT_EQ(call(hostBufferLock, b, &data, &size), errNone);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer->lockDepth(), 2u);
}

TEST_F(HostDispatchTest, FaultSwitchesRefuseWhatTheyNameAndNothingElse) {
    auto buffer = host().createBuffer();
    auto list = host().createList();
    auto callback = host().createCallback();
    auto item = host().createCollection();
    void* delivered = nullptr;
    callback->setSink([&](iohost::HostBuffer& packet) {
        delivered = packet.handle();
        return int32_t{-77};
    });
    void* b = buffer.handle();
    void* data = nullptr;
    uint64_t size = 0;
    void* created = nullptr;
    auto& faults = host().faults();

    faults.refuseCreations(2);  // counted switches are used up
    EXPECT_EQ(create(kBufferId, created), errAlloc);
    EXPECT_EQ(create(kBufferId, created), errAlloc);
    EXPECT_EQ(created, nullptr);
    faults.refuseListAppends(1);
    EXPECT_EQ(call(hostListAdd, list.handle(), item.handle()), errFail);
    EXPECT_EQ(call(hostListAdd, list.handle(), item.handle()), errNone);
    EXPECT_EQ(list->size(), 1u);
    faults.refuseSetProperty("magicCookie");
    EXPECT_EQ(setInt32(b, "magicCookie", 1), errFail);
    EXPECT_EQ(setInt32(b, "width", 1), errNone);
    EXPECT_FALSE(buffer->has("magicCookie"));
    faults.failBufferLock(true);
    faults.failBufferSetSize(true);
    faults.deliverAnswer(-1234);
    EXPECT_EQ(call(hostBufferLock, b, &data, &size), errFail);
    EXPECT_FALSE(buffer->isLocked());
    EXPECT_EQ(call(hostBufferSetSize, b, uint64_t{10}), errFail);
    EXPECT_EQ(buffer->size(), 0u);
    EXPECT_EQ(call(hostDeliver, callback.handle(), b), -1234);
    EXPECT_EQ(delivered, nullptr) << "a chosen answer replaces the sink";
    faults.reset();

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

    // Unarmed, the callback answers with its sink's code, and the query with its flag.
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
