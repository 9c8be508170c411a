#include <cstring>
#include <string>
#include <vector>

#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using iohost::HostBuffer;
using iohost::PropertyValue;

using HostObjectsTest = HostTest;

TEST_F(HostObjectsTest, StoresEachTypeAsTypeCountAndBytes) {
    const uint8_t bytes[3] = {1, 2, 255};
    const int32_t ints[2] = {30000, -1001};
    const int64_t wide = -0x123456789AB;
    const char text[] = "abc";
    struct Case {
        const char* key;
        uint32_t type;
        const void* data;
        uint32_t count;
        size_t byteCount;
    } cases[] = {
        {"u8", propUInt8, bytes, 3, 3},       {"i32", propInt32, ints, 2, 8},
        {"i64", propInt64, &wide, 1, 8},      {"str", propString, text, 3, 3},
        {"empty", propString, nullptr, 0, 0},
    };
    auto collection = host().createCollection();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_EQ(collection->set(c.key, c.type, c.data, c.count), errNone);
        uint32_t type = 0, count = 99;
        const void* data = nullptr;
        ASSERT_EQ(collection->get(c.key, type, data, count), errNone);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(count, c.count);
        ASSERT_NE(data, nullptr);
        if (c.byteCount != 0) {
            EXPECT_EQ(std::memcmp(data, c.data, c.byteCount), 0);
        }
    }
}

TEST_F(HostObjectsTest, RefusesMalformedValues) {
    auto collection = host().createCollection();
    const int32_t one = 1;
    EXPECT_EQ(collection->set("k", 3, &one, 1), errUnsupported);
    EXPECT_EQ(collection->set("k", propInt32, nullptr, 1), errInvalidParam);
    EXPECT_FALSE(collection->has("k"));
    uint32_t type = 0, count = 0;
    const void* data = nullptr;
    EXPECT_EQ(collection->get("k", type, data, count), errMissingProperty);
}

TEST_F(HostObjectsTest, CopiesValuesIn) {
    auto collection = host().createCollection();
    std::vector<int32_t> source = {7, 8};
    ASSERT_EQ(collection->set("rate", propInt32, source.data(), 2), errNone);
    source.assign({0, 0});
    source.shrink_to_fit();
    EXPECT_EQ(collection->getInt32s("rate"), (std::vector<int32_t>{7, 8}));
}

TEST_F(HostObjectsTest, GetPointerSurvivesOtherKeysAndRereads) {
    auto collection = host().createCollection();
    collection->setString("path", "/tmp/a.avi");
    uint32_t type = 0, count = 0;
    const void* first = nullptr;
    ASSERT_EQ(collection->get("path", type, first, count), errNone);
    // Many other keys force the map to grow; the stored value must not move.
    for (int i = 0; i < 500; ++i) collection->setInt32("key" + std::to_string(i), i);
    const void* again = nullptr;
    ASSERT_EQ(collection->get("path", type, again, count), errNone);
    EXPECT_EQ(first, again);
    EXPECT_EQ(std::string(static_cast<const char*>(first), count), "/tmp/a.avi");
}

TEST_F(HostObjectsTest, TypedReadsRequireTypeAndCount) {
    auto c = host().createCollection();
    const int32_t pair[2] = {25, 1};
    c->setInt32s("frameRate", pair);
    c->setUInt8("flag", 1);
    c->setString("name", "Parv", /*countNul=*/true);
    c->setInt64("pts", 42);

    EXPECT_FALSE(c->getInt32("frameRate")) << "count 2 is not a single value";
    EXPECT_FALSE(c->getInt32("flag")) << "wrong type";
    EXPECT_FALSE(c->getInt64("missing"));
    EXPECT_FALSE(c->getString("flag"));
    EXPECT_EQ(c->getUInt8("flag"), uint8_t{1});
    EXPECT_EQ(c->getInt64("pts"), int64_t{42});
    EXPECT_EQ(c->getString("name"), std::string("Parv\0", 5)) << "the counted NUL stays";
    EXPECT_EQ(c->value("name")->count, 5u);
    EXPECT_EQ(c->keys(), (std::vector<std::string>{"flag", "frameRate", "name", "pts"}));
}

TEST_F(HostObjectsTest, BufferLockNestsAndBlocksResize) {
    auto buffer = host().createBuffer();
    void* data = nullptr;
    uint64_t size = 1;
    ASSERT_EQ(buffer->lock(data, size), errNone);
    EXPECT_NE(data, nullptr) << "even an empty buffer has an address";
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer->unlock(), errNone);

    ASSERT_EQ(buffer->setSize(16), errNone);
    ASSERT_EQ(buffer->lock(data, size), errNone);
    ASSERT_EQ(size, 16u);
    std::memset(data, 0xAB, 16);
    void* inner = nullptr;
    ASSERT_EQ(buffer->lock(inner, size), errNone);
    EXPECT_EQ(inner, data);
    EXPECT_EQ(buffer->lockDepth(), 2u);
    EXPECT_EQ(buffer->setSize(4), errFail) << "resizing would move locked bytes";
    EXPECT_EQ(buffer->assign(std::vector<uint8_t>{1}), errFail);
    EXPECT_EQ(buffer->unlock(), errNone);
    EXPECT_TRUE(buffer->isLocked());
    EXPECT_EQ(buffer->unlock(), errNone);
    EXPECT_EQ(buffer->unlock(), errFail) << "unbalanced unlock";

    ASSERT_EQ(buffer->setSize(4), errNone);
    EXPECT_EQ(buffer->contents(), (std::vector<uint8_t>{0xAB, 0xAB, 0xAB, 0xAB}));
    // Properties of a buffer are its own.
    buffer->setInt64("pts", 3);
    EXPECT_EQ(buffer->getInt64("pts"), int64_t{3});
}

TEST_F(HostObjectsTest, CallbackHandsPacketsToTheSink) {
    auto callback = host().createCallback();
    auto packet = host().createBuffer();
    EXPECT_EQ(callback->deliver(*packet), errNone) << "no sink: accepted";

    HostBuffer* seen = nullptr;
    callback->setSink([&](HostBuffer& buffer) {
        seen = &buffer;
        return int32_t{-77};
    });
    EXPECT_EQ(callback->deliver(*packet), -77);
    EXPECT_EQ(seen, packet.get());
    EXPECT_EQ(callback->deliveredCount(), 2u);

    EXPECT_FALSE(callback->lastQueryValue());
    EXPECT_TRUE(callback->query(5));
    callback->setQueryAnswer(false);
    EXPECT_FALSE(callback->query(-9));
    EXPECT_EQ(callback->lastQueryValue(), int64_t{-9});
}

TEST_F(HostObjectsTest, ListHoldsAReferenceToEachItem) {
    auto list = host().createList();
    {
        auto item = host().createCollection();
        ASSERT_EQ(host().append(*list, item.handle()), errNone);
        EXPECT_EQ(item->refCount(), 2u);
    }
    EXPECT_EQ(host().liveObjects(), 2u) << "the list keeps its item alive";
    ASSERT_EQ(list->collections().size(), 1u);
    EXPECT_EQ(list->collections().front()->refCount(), 1u);
    list.reset();
    EXPECT_EQ(host().liveObjects(), 0u) << "the list's death drops its items";
}

TEST_F(HostObjectsTest, HostRefCountsSharesAndMoves) {
    auto a = host().createBuffer();
    EXPECT_EQ(a->refCount(), 1u);
    auto b = iohost::HostRef<HostBuffer>::share(a.shared());
    EXPECT_EQ(a->refCount(), 2u);
    auto c = std::move(b);
    EXPECT_EQ(a->refCount(), 2u) << "a move takes no reference";
    c.reset();
    EXPECT_EQ(a->refCount(), 1u);
    EXPECT_EQ(host().liveObjects(iohost::ObjectKind::Buffer), 1u);
}

}  // namespace
}  // namespace iohost_test
