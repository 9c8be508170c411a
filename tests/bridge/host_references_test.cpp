// The host references and the two free functions, against the reference host.
#include <gtest/gtest.h>

#include <string>

#include "platform/iohost/host.h"
#include "plugin/encoder/wrapper/host_api.h"
#include "tests/bridge/bridge_test_support.h"

namespace {

using iohost::Host;
using namespace IOPlugin;

class HostReferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        bridge_test::ConnectToReferenceHost();
        Host::instance().reset();
        Host::instance().calls().setEnabled(true);
    }
    void TearDown() override {
        Host::instance().calls().setEnabled(false);
        EXPECT_EQ(Host::instance().liveObjects(), 0u);
        EXPECT_EQ(Host::instance().badHandles(), 0u);
    }
    size_t HostCalls() const { return Host::instance().calls().calls().size(); }
};

TEST_F(HostReferencesTest, EmptyReferencesAnswerWithoutCallingTheHost) {
    {
        HostPropertyCollectionRef collection(nullptr);
        HostBufferRef buffer(nullptr);
        HostListRef list(nullptr);
        HostCodecCallbackRef callback(nullptr);
        uint32_t type = 0, count = 0;
        const void* data = nullptr;
        const int32_t value = 5;
        EXPECT_EQ(collection.GetProperty("width", &type, &data, &count), errNoObject);
        EXPECT_EQ(collection.SetProperty("width", propInt32, &value, 1), errNoObject);
        EXPECT_EQ(buffer.GetProperty("width", &type, &data, &count), errNoObject);
        EXPECT_EQ(buffer.SetProperty("width", propInt32, &value, 1), errNoObject);
        EXPECT_FALSE(buffer.Unlock());
        EXPECT_FALSE(list.Append(collection));
        EXPECT_EQ(callback.Deliver(buffer), errNoObject);
        EXPECT_EQ(type, 0u);
        EXPECT_EQ(data, nullptr);
    }
    EXPECT_EQ(HostCalls(), 0u);
}

TEST_F(HostReferencesTest, ALentHandleGainsOneReferenceForTheLifeOfTheWrapper) {
    auto collection = Host::instance().createCollection();
    {
        HostPropertyCollectionRef ref(collection.handle());
        EXPECT_EQ(collection->refCount(), 2u);
        EXPECT_FALSE(ref.IsEmpty());
    }
    EXPECT_EQ(collection->refCount(), 1u);
}

TEST_F(HostReferencesTest, PropertiesTravelThroughTheHost) {
    auto buffer = Host::instance().createBuffer();
    HostBufferRef ref(buffer.handle());
    const int64_t pts = -42;
    ASSERT_EQ(ref.SetProperty("pts", propInt64, &pts, 1), errNone);
    EXPECT_EQ(buffer->getInt64("pts"), -42);

    uint32_t type = 0, count = 0;
    const void* data = nullptr;
    ASSERT_EQ(ref.GetProperty("pts", &type, &data, &count), errNone);
    EXPECT_EQ(type, static_cast<uint32_t>(propInt64));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(*static_cast<const int64_t*>(data), -42);
    EXPECT_NE(ref.GetProperty("absent", &type, &data, &count), errNone);
}

TEST_F(HostReferencesTest, GetStringPropertyFollowsTypeAndCount) {
    auto collection = Host::instance().createCollection();
    collection->setInt32("number", 7);
    collection->setString("empty", "");
    collection->setString("text", "5b1e9d0c7a3f4e2b8c6d1a9e0f3b7c54", /*countNul=*/true);
    collection->setString("plain", "path/to/file.avi");
    HostPropertyCollectionRef ref(collection.handle());

    std::string value = "untouched";
    EXPECT_FALSE(GetStringProperty(ref, "number", value));
    EXPECT_FALSE(GetStringProperty(ref, "absent", value));
    EXPECT_EQ(value, "untouched");

    EXPECT_TRUE(GetStringProperty(ref, "empty", value));
    EXPECT_EQ(value, "");

    EXPECT_TRUE(GetStringProperty(ref, "text", value));
    EXPECT_EQ(value.size(), 33u);
    EXPECT_EQ(value.back(), '\0');
    EXPECT_EQ(value.substr(0, 32), "5b1e9d0c7a3f4e2b8c6d1a9e0f3b7c54");

    EXPECT_TRUE(GetStringProperty(ref, "plain", value));
    EXPECT_EQ(value, "path/to/file.avi");
}

TEST_F(HostReferencesTest, HostLogKeepsAtMost4094Characters) {
    const std::string longText(5000, 'x');
    HostLog(0, "%s", longText.c_str());
    HostLog(0, "Parvolux Plugin :: %s %d", "value", 12);
    const auto entries = Host::instance().log().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].level, 0u);
    EXPECT_EQ(entries[0].text, std::string(4094, 'x'));
    EXPECT_EQ(entries[1].text, "Parvolux Plugin :: value 12");
}

TEST_F(HostReferencesTest, CreateAdoptsTheNewObjectOrReportsTheRefusal) {
    {
        HostPropertyCollectionRef collection;
        collection.Create();
        ASSERT_FALSE(collection.IsEmpty());
        auto object = Host::instance().find(collection.Handle());
        ASSERT_TRUE(object);
        EXPECT_EQ(object->refCount(), 1u);
    }
    EXPECT_EQ(Host::instance().liveObjects(), 0u);

    Host::instance().faults().refuseCreations(2);
    HostPropertyCollectionRef collection;
    collection.Create();
    HostBufferRef buffer;
    buffer.Create();
    EXPECT_TRUE(collection.IsEmpty());
    EXPECT_TRUE(buffer.IsEmpty());
    const auto entries = Host::instance().log().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "Plugin Failed to create a property bag");
    EXPECT_EQ(entries[1].text, "Plugin Failed to create a buffer");
}

TEST_F(HostReferencesTest, BufferLocksResizesAndUnlocks) {
    HostBufferRef buffer;
    buffer.Create();
    ASSERT_EQ(buffer.SetSize(100), errNone);
    void* data = nullptr;
    uint64_t size = 0;
    ASSERT_EQ(buffer.Lock(&data, &size), errNone);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 100u);
    EXPECT_TRUE(buffer.Unlock());

    Host::instance().faults().failBufferLock(true);
    EXPECT_NE(buffer.Lock(&data, &size), errNone);
    Host::instance().faults().failBufferSetSize(true);
    EXPECT_NE(buffer.SetSize(10), errNone);
}

TEST_F(HostReferencesTest, AListKeepsItsOwnReferenceToEachItem) {
    auto list = Host::instance().createList();
    HostListRef listRef(list.handle());
    {
        HostPropertyCollectionRef item;
        item.Create();
        EXPECT_TRUE(listRef.Append(item));
        Host::instance().faults().refuseListAppends(1);
        EXPECT_FALSE(listRef.Append(item));
    }
    EXPECT_EQ(list->size(), 1u);
    EXPECT_EQ(list->collections().at(0)->refCount(), 1u);
}

TEST_F(HostReferencesTest, CallbackDeliversAndQueries) {
    auto callback = Host::instance().createCallback();
    int delivered = 0;
    callback->setSink([&](iohost::HostBuffer&) {
        ++delivered;
        return 17;
    });
    HostCodecCallbackRef ref(callback.handle());
    HostBufferRef buffer;
    buffer.Create();
    EXPECT_EQ(ref.Deliver(buffer), 17);
    EXPECT_EQ(delivered, 1);

    callback->setQueryAnswer(false);
    EXPECT_FALSE(ref.Query(99));
    EXPECT_EQ(callback->lastQueryValue(), 99);
    callback->setQueryAnswer(true);
    EXPECT_TRUE(ref.Query(-1));
}

}  // namespace
