// The host as a plug-in reaches it: through hostDispatch with the C argument types.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using iohost::HostOperation;
using iohost::ObjectKind;

constexpr uint8_t kCollectionId[16] = IOP_PROPERTY_COLLECTION_CLASS_ID;
constexpr uint8_t kBufferId[16] = IOP_BUFFER_CLASS_ID;

class HostDispatchTest : public HostTest {
protected:
    void* create(const uint8_t (&id)[16]) {
        void* handle = nullptr;
        EXPECT_EQ(call(hostCreateObject, static_cast<const void*>(id), &handle), errNone);
        return handle;
    }
    uint32_t release(void* handle) {
        uint32_t count = 99;
        EXPECT_EQ(call(hostRelease, handle, &count), errNone);
        return count;
    }
    int32_t setInt32(void* handle, const char* key, int32_t value) {
        return call(hostSetProperty, handle, key, uint32_t{propInt32},
                    static_cast<const void*>(&value), uint32_t{1});
    }
    int32_t get(void* handle, const char* key) {
        uint32_t type = 0, count = 0;
        const void* data = nullptr;
        return call(hostGetProperty, handle, key, &type, &data, &count);
    }
    int32_t lock(void* handle, void*& data, uint64_t& size) {
        return call(hostBufferLock, handle, &data, &size);
    }
    int32_t unlock(void* handle) { return call(hostBufferUnlock, handle); }
};

TEST_F(HostDispatchTest, CreatesObjectsByClassId) {
    void* collection = create(kCollectionId);
    void* buffer = create(kBufferId);
    ASSERT_NE(collection, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(host().find(collection)->kind(), ObjectKind::PropertyCollection);
    EXPECT_EQ(host().find(buffer)->kind(), ObjectKind::Buffer);
    EXPECT_EQ(host().find(buffer)->refCount(), 1u);

    uint8_t unknown[16] = {};
    void* out = &unknown;  // must stay untouched
    EXPECT_EQ(call(hostCreateObject, static_cast<const void*>(unknown), &out), errUnsupported);
    EXPECT_EQ(out, static_cast<void*>(&unknown));
    EXPECT_EQ(call(hostCreateObject, static_cast<const void*>(nullptr), &out), errInvalidParam);
    EXPECT_EQ(
        call(hostCreateObject, static_cast<const void*>(kBufferId), static_cast<void**>(nullptr)),
        errInvalidParam);
    EXPECT_EQ(host().liveObjects(), 2u);
    release(collection);
    release(buffer);
}

TEST_F(HostDispatchTest, CountsReferencesAndRetiresAtZero) {
    void* handle = create(kCollectionId);
    uint32_t count = 0;
    ASSERT_EQ(call(hostAddRef, handle, &count), errNone);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(release(handle), 1u);
    EXPECT_EQ(release(handle), 0u);
    EXPECT_EQ(host().liveObjects(), 0u);

    // The handle is dead now: every use is refused and counted, nothing is touched.
    EXPECT_EQ(call(hostAddRef, handle, &count), errNoObject);
    EXPECT_EQ(call(hostRelease, handle, &count), errNoObject);
    EXPECT_EQ(setInt32(handle, "width", 1), errNoObject);
    EXPECT_EQ(host().badHandles(), 3u);
    host().reset();
}

TEST_F(HostDispatchTest, RefusesForeignAndWrongKindHandles) {
    int notAnObject = 0;
    auto list = host().createList();
    auto callback = host().createCallback();
    auto buffer = host().createBuffer();
    void* data = nullptr;
    uint64_t size = 0;
    struct Case {
        const char* what;
        int32_t answer;
    } cases[] = {
        {"set on a foreign pointer", setInt32(&notAnObject, "k", 1)},
        {"set on a list", setInt32(list.handle(), "k", 1)},
        {"get on a callback", get(callback.handle(), "k")},
        {"lock a collection", lock(host().createCollection().handle(), data, size)},
        {"append to a buffer", call(hostListAdd, buffer.handle(), buffer.handle())},
        {"deliver to a buffer", call(hostDeliver, buffer.handle(), buffer.handle())},
        {"deliver a list", call(hostDeliver, callback.handle(), list.handle())},
    };
    for (const Case& c : cases) EXPECT_EQ(c.answer, errNoObject) << c.what;
    EXPECT_EQ(host().badHandles(), std::size(cases));
    host().reset();
}

TEST_F(HostDispatchTest, NullArgumentsAreInvalid) {
    auto buffer = host().createBuffer();
    void* h = buffer.handle();
    uint32_t type = 0, count = 0;
    const void* data = nullptr;
    const char* nullKey = nullptr;
    EXPECT_EQ(call(hostSetProperty, h, nullKey, uint32_t{propInt32}, data, uint32_t{0}),
              errInvalidParam);
    EXPECT_EQ(call(hostGetProperty, h, "k", &type, static_cast<const void**>(nullptr), &count),
              errInvalidParam);
    EXPECT_EQ(
        call(hostBufferLock, h, static_cast<void**>(nullptr), static_cast<uint64_t*>(nullptr)),
        errInvalidParam);
    EXPECT_EQ(call(hostLog, uint32_t{0}, static_cast<const char*>(nullptr)), errInvalidParam);
    EXPECT_EQ(
        call(hostQuery, static_cast<void*>(nullptr), int64_t{1}, static_cast<uint8_t*>(nullptr)),
        errInvalidParam);
    EXPECT_EQ(call(0x55u), errUnsupported) << "unknown selector";
    EXPECT_EQ(host().badHandles(), 0u) << "null is not a stale handle";
}

TEST_F(HostDispatchTest, PropertiesAndBuffersThroughDispatch) {
    void* buffer = create(kBufferId);
    ASSERT_EQ(setInt32(buffer, "width", 1920), errNone);
    uint32_t type = 0, count = 0;
    const void* data = nullptr;
    ASSERT_EQ(call(hostGetProperty, buffer, "width", &type, &data, &count), errNone);
    EXPECT_EQ(type, uint32_t{propInt32});
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(*static_cast<const int32_t*>(data), 1920);
    EXPECT_EQ(get(buffer, "height"), errMissingProperty);

    ASSERT_EQ(call(hostBufferSetSize, buffer, uint64_t{3}), errNone);
    void* bytes = nullptr;
    uint64_t size = 0;
    ASSERT_EQ(lock(buffer, bytes, size), errNone);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(call(hostBufferSetSize, buffer, uint64_t{8}), errFail) << "locked";
    EXPECT_EQ(unlock(buffer), errNone);
    EXPECT_EQ(unlock(buffer), errFail);
    release(buffer);
}

TEST_F(HostDispatchTest, ListAddTakesAReference) {
    auto list = host().createList();
    void* item = create(kCollectionId);
    ASSERT_EQ(call(hostListAdd, list.handle(), item), errNone);
    EXPECT_EQ(release(item), 1u) << "the list holds one";
    EXPECT_EQ(list->size(), 1u);
}

TEST_F(HostDispatchTest, LogKeepsOrderAndLevel) {
    ASSERT_EQ(call(hostLog, uint32_t{0}, "first"), errNone);
    ASSERT_EQ(call(hostLog, uint32_t{3}, "second"), errNone);
    const std::vector<iohost::LogEntry> expected = {{0, "first"}, {3, "second"}};
    EXPECT_EQ(host().log().entries(), expected);
    EXPECT_TRUE(host().log().contains("econ"));
    EXPECT_FALSE(host().log().contains("third"));
}

TEST_F(HostDispatchTest, DeliverAndQueryReachTheCallback) {
    auto callback = host().createCallback();
    auto packet = host().createBuffer();
    void* seen = nullptr;
    callback->setSink([&](iohost::HostBuffer& b) {
        seen = b.handle();
        return int32_t{errNone};
    });
    EXPECT_EQ(call(hostDeliver, callback.handle(), packet.handle()), errNone);
    EXPECT_EQ(seen, packet.handle());

    callback->setQueryAnswer(false);
    uint8_t flag = 1;
    EXPECT_EQ(call(hostQuery, callback.handle(), int64_t{-5}, &flag), errNone);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(callback->lastQueryValue(), int64_t{-5});
}

TEST_F(HostDispatchTest, FaultSwitchesRefuseWhatTheyName) {
    auto buffer = host().createBuffer();
    auto list = host().createList();
    auto callback = host().createCallback();
    auto item = host().createCollection();
    bool sinkRan = false;
    callback->setSink([&](iohost::HostBuffer&) {
        sinkRan = true;
        return int32_t{errNone};
    });
    void* b = buffer.handle();
    void* data = nullptr;
    uint64_t size = 0;
    void* created = nullptr;

    struct Case {
        const char* name;
        std::function<void(iohost::HostFaults&)> arm;
        std::function<int32_t()> act;
        int32_t expected;
    } cases[] = {
        {"creation", [](auto& f) { f.refuseCreations(1); },
         [&] { return call(hostCreateObject, static_cast<const void*>(kBufferId), &created); },
         errAlloc},
        {"append", [](auto& f) { f.refuseListAppends(1); },
         [&] { return call(hostListAdd, list.handle(), item.handle()); }, errFail},
        {"set key", [](auto& f) { f.refuseSetProperty("magicCookie"); },
         [&] { return setInt32(b, "magicCookie", 1); }, errFail},
        {"lock", [](auto& f) { f.failBufferLock(true); }, [&] { return lock(b, data, size); },
         errFail},
        {"set size", [](auto& f) { f.failBufferSetSize(true); },
         [&] { return call(hostBufferSetSize, b, uint64_t{10}); }, errFail},
        {"deliver", [](auto& f) { f.deliverAnswer(-1234); },
         [&] { return call(hostDeliver, callback.handle(), b); }, -1234},
        {"nth get", [](auto& f) { f.failNth(HostOperation::Get, 1, errMissingProperty); },
         [&] { return get(b, "pts"); }, errMissingProperty},
        {"nth unlock", [](auto& f) { f.failNth(HostOperation::Unlock, 1, -42); },
         [&] { return unlock(b); }, -42},
    };
    buffer->setInt64("pts", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arm(host().faults());
        EXPECT_EQ(c.act(), c.expected);
        host().faults().reset();
    }
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(list->size(), 0u);
    EXPECT_FALSE(buffer->has("magicCookie"));
    EXPECT_FALSE(buffer->isLocked());
    EXPECT_EQ(buffer->size(), 0u);
    EXPECT_FALSE(sinkRan) << "a chosen deliver answer replaces the sink";

    // Unarmed, the same calls go through.
    EXPECT_EQ(setInt32(b, "magicCookie", 1), errNone);
    EXPECT_EQ(call(hostListAdd, list.handle(), item.handle()), errNone);
    EXPECT_EQ(call(hostDeliver, callback.handle(), b), errNone);
    EXPECT_TRUE(sinkRan);
}

TEST_F(HostDispatchTest, CountedSwitchesAreUsedUp) {
    host().faults().refuseCreations(2);
    void* h = nullptr;
    const auto createBuffer = [&] {
        return call(hostCreateObject, static_cast<const void*>(kBufferId), &h);
    };
    EXPECT_EQ(createBuffer(), errAlloc);
    EXPECT_EQ(createBuffer(), errAlloc);
    ASSERT_EQ(createBuffer(), errNone);

    // The third set from now fails, the others go through.
    host().faults().failNth(HostOperation::Set, 3, -99);
    std::vector<int32_t> answers;
    answers.reserve(5);
    for (int i = 0; i < 5; ++i) answers.push_back(setInt32(h, "k", i));
    EXPECT_EQ(answers, (std::vector<int32_t>{0, 0, -99, 0, 0}));
    auto stored = std::static_pointer_cast<iohost::HostBuffer>(host().find(h));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->getInt32("k"), 4);
    release(h);
}

TEST_F(HostDispatchTest, LockCanAnswerNullOrEmptyAndStillLocks) {
    auto buffer = host().createBuffer();
    ASSERT_EQ(buffer->setSize(8), errNone);
    void* data = &data;
    uint64_t size = 0;
    host().faults().lockWithNullPointer(true);
    ASSERT_EQ(lock(buffer.handle(), data, size), errNone);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 8u);
    host().faults().reset();
    host().faults().lockWithZeroSize(true);
    ASSERT_EQ(lock(buffer.handle(), data, size), errNone);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer->lockDepth(), 2u) << "both calls locked the buffer";
}

TEST_F(HostDispatchTest, CallRecordKeepsSelectorsAndKeysInOrder) {
    auto buffer = host().createBuffer();
    void* b = buffer.handle();
    (void)setInt32(b, "before", 1);
    EXPECT_TRUE(host().calls().calls().empty()) << "off by default";

    host().calls().setEnabled(true);
    auto other = host().createCollection();
    (void)setInt32(b, "width", 1);
    (void)setInt32(other.handle(), "uuid", 1);
    (void)get(b, "height");
    (void)call(hostLog, uint32_t{0}, "x");
    (void)setInt32(b, "pts", 1);
    host().calls().setEnabled(false);
    (void)setInt32(b, "after", 1);

    const auto calls = host().calls().calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0], (iohost::HostCall{hostSetProperty, "width", b}));
    EXPECT_EQ(calls[2], (iohost::HostCall{hostGetProperty, "height", b}));
    EXPECT_EQ(calls[3], (iohost::HostCall{hostLog, "", nullptr}));
    EXPECT_EQ(host().calls().keys(hostSetProperty),
              (std::vector<std::string>{"width", "uuid", "pts"}));
    EXPECT_EQ(host().calls().keys(hostSetProperty, b), (std::vector<std::string>{"width", "pts"}));
}

TEST_F(HostDispatchTest, ResetClearsFaultsLogAndRecord) {
    host().calls().setEnabled(true);
    (void)call(hostLog, uint32_t{0}, "x");
    host().faults().failBufferLock(true);
    host().faults().refuseSetProperty("k");
    host().reset();
    host().calls().setEnabled(false);

    EXPECT_EQ(host().log().size(), 0u);
    EXPECT_TRUE(host().calls().calls().empty());
    auto buffer = host().createBuffer();
    void* data = nullptr;
    uint64_t size = 0;
    EXPECT_EQ(lock(buffer.handle(), data, size), errNone);
    EXPECT_EQ(setInt32(buffer.handle(), "k", 1), errNone);
}

}  // namespace
}  // namespace iohost_test
