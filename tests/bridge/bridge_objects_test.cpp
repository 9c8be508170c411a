// Below PluginDispatch, against the reference host: the host references and the free functions,
// and what the object bases do where the product's objects override it or cannot show it.
#include <optional>
#include <string>

#include "plugin/encoder/wrapper/host_api.h"
#include "tests/bridge/bridge_test_support.h"

namespace {

using namespace bridge_test;
using namespace IOPlugin;
using HostReferencesTest = BridgeTest;
using ObjectBasesTest = BridgeTest;

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
        EXPECT_TRUE(type == 0 && data == nullptr) << "an empty reference wrote its outputs";
    }
    EXPECT_EQ(host().calls().calls().size(), 0u);
}

TEST_F(HostReferencesTest, GetStringPropertyFollowsTypeAndCount) {
    auto collection = host().createCollection();
    collection->setInt32("number", 7);
    collection->setString("empty", "");
    collection->setString("text", "5b1e9d0c7a3f4e2b8c6d1a9e0f3b7c54", /*countNul=*/true);
    collection->setString("one", "x");
    HostPropertyCollectionRef ref(collection.handle());
    // What each key yields; nothing: not found, and the string is left as it was.
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"number", std::nullopt},
        {"empty", ""},
        {"text", std::string("5b1e9d0c7a3f4e2b8c6d1a9e0f3b7c54", 33)},  // the counted NUL stays
        {"one", "x"}};
    for (const auto& [key, expected] : cases) {
        std::string value = "untouched";
        EXPECT_EQ(GetStringProperty(ref, key, value), expected.has_value()) << key;
        EXPECT_EQ(value, expected.value_or("untouched")) << key;
    }
}

TEST_F(HostReferencesTest, HostLogKeepsAtMost4094Characters) {
    HostLog(0, "%s", std::string(5000, 'x').c_str());
    HostLog(0, "Parvolux Plugin :: %s %d", "value", 12);
    const auto entries = host().log().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].level, 0u);
    EXPECT_EQ(entries[0].text, std::string(4094, 'x'));
    EXPECT_EQ(entries[1].text, "Parvolux Plugin :: value 12");
}

TEST_F(ObjectBasesTest, CodecSelectorsReachTheirOperationsAndDropTheirReferences) {
    auto* codec = new TestCodec;
    auto collection = host().createCollection();
    codec->lastHandle = codec;
    EXPECT_EQ(Send(codec, codecConfigure, static_cast<void*>(nullptr)), errInvalidParam);
    EXPECT_EQ(codec->lastHandle, codec) << "Configure was called without a collection";
    codec->configureAnswer = -6;
    EXPECT_EQ(Send(codec, codecConfigure, collection.handle()), -6);
    EXPECT_EQ(codec->lastHandle, collection.handle());
    EXPECT_EQ(Send(codec, codecOpen, static_cast<void*>(nullptr)), errNone);
    EXPECT_EQ(codec->lastHandle, nullptr) << "Open takes an empty reference for a null handle";

    uint8_t flag = 7;
    EXPECT_EQ(Send(codec, codecQuery, int64_t{123}, &flag), errNone);
    EXPECT_EQ(flag, 1);

    codec->throwInConfigure = true;
    EXPECT_THROW((void)Send(codec, codecConfigure, collection.handle()), std::runtime_error);
    EXPECT_EQ(collection->refCount(), 1u) << "a call's reference outlived it";
    codec->Release();
}

// Reference counting is PluginDispatch's, which counts before an object's own Dispatch is reached;
// to a codec's own Dispatch selectors 2 and 3 count, to a track's or a container's they are
// unknown.
TEST_F(ObjectBasesTest, ReferenceSelectorsCountOnlyInACodecsOwnDispatch) {
    auto* codec = new TestCodec;
    for (const auto& [selector, after] :
         {std::pair{plugAddRef, 2u}, {plugRelease, 1u}, {plugRelease, 0u}}) {
        uint32_t count = 99;
        EXPECT_EQ(Send(codec, selector, &count), errNone);
        EXPECT_EQ(count, after);  // at 0 the fixture sees that it is gone
    }
    auto* track = new TestTrack;
    auto packet = host().createBuffer();
    EXPECT_EQ(Send(track, trackWrite, packet.handle()), errUnsupported);
    EXPECT_EQ(packet->refCount(), 1u);
    EXPECT_EQ(Send(track, contClose), errUnsupported);
    auto* container = new TestContainer;
    uint32_t count = 99;
    for (IOPlugin::IPluginObjRef* object : {static_cast<IOPlugin::IPluginObjRef*>(track),
                                            static_cast<IOPlugin::IPluginObjRef*>(container)}) {
        EXPECT_EQ(Send(object, plugAddRef, &count), errUnsupported);
        EXPECT_EQ(Send(object, plugRelease, &count), errUnsupported);
    }
    EXPECT_EQ(count, 99u);
    container->Release();
    track->Release();
}

}  // namespace
