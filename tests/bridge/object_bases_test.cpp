// The object bases: reference counting, the selector tables of codecs, containers and tracks,
// and the host references each call makes and drops.
#include <gtest/gtest.h>

#include "platform/iohost/host.h"
#include "tests/bridge/bridge_test_support.h"

namespace {

using bridge_test::g_liveObjects;
using bridge_test::Send;
using bridge_test::TestCodec;
using bridge_test::TestContainer;
using bridge_test::TestWriterTrack;
using iohost::Host;

class ObjectBasesTest : public ::testing::Test {
protected:
    void SetUp() override {
        bridge_test::ConnectToReferenceHost();
        Host::instance().reset();
        g_liveObjects = 0;
    }
    void TearDown() override {
        EXPECT_EQ(g_liveObjects, 0);
        EXPECT_EQ(Host::instance().liveObjects(), 0u);
        EXPECT_EQ(Host::instance().badHandles(), 0u);
    }
};

TEST_F(ObjectBasesTest, ReferenceCountingDestroysAtZero) {
    auto* codec = new TestCodec;
    EXPECT_EQ(codec->AddRef(), 2u);
    EXPECT_EQ(codec->Release(), 1u);
    EXPECT_EQ(g_liveObjects, 1);
    uint32_t count = 99;
    EXPECT_EQ(Send(codec, plugAddRef, &count), errNone);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Send(codec, plugRelease, &count), errNone);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(codec->Release(), 0u);
    EXPECT_EQ(g_liveObjects, 0);
}

TEST_F(ObjectBasesTest, CodecQueriesKeepTheirDefaults) {
    auto* codec = new TestCodec;
    uint8_t flag = 7;
    EXPECT_EQ(Send(codec, codecQuery, int64_t{123}, &flag), errNone);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(Send(codec, codecQueryState, &flag), errNone);
    EXPECT_EQ(flag, 0);
    EXPECT_TRUE(codec->QueryHost(5));  // no callback: true, and no host call
    IOPlugin::HostBufferRef empty;
    EXPECT_EQ(codec->DeliverOutput(empty), errInvalidParam);
    EXPECT_EQ(Send(codec, 0x10010008u), errUnsupported);
    EXPECT_EQ(Send(codec, contInit, static_cast<void*>(nullptr)), errUnsupported);
    codec->Release();
}

TEST_F(ObjectBasesTest, CodecSelectorsReachTheirOperations) {
    auto* codec = new TestCodec;
    EXPECT_EQ(Send(codec, codecConfigure, static_cast<void*>(nullptr)), errInvalidParam);
    EXPECT_EQ(codec->configureCalls, 0);

    auto collection = Host::instance().createCollection();
    codec->configureAnswer = -6;
    EXPECT_EQ(Send(codec, codecConfigure, collection.handle()), -6);
    EXPECT_EQ(codec->lastHandle, collection.handle());
    EXPECT_EQ(collection->refCount(), 1u);

    codec->lastHandle = codec;
    EXPECT_EQ(Send(codec, codecOpen, static_cast<void*>(nullptr)), errNone);
    EXPECT_EQ(codec->openCalls, 1);
    EXPECT_EQ(codec->lastHandle, nullptr);

    EXPECT_EQ(Send(codec, codecFinish), errNone);
    EXPECT_EQ(codec->finishCalls, 1);
    codec->Release();
}

TEST_F(ObjectBasesTest, ReferencesOfACallAreDroppedWhenTheOperationThrows) {
    auto* codec = new TestCodec;
    codec->throwInConfigure = true;
    auto collection = Host::instance().createCollection();
    EXPECT_THROW(Send(codec, codecConfigure, collection.handle()), std::runtime_error);
    EXPECT_EQ(collection->refCount(), 1u);
    codec->Release();
}

TEST_F(ObjectBasesTest, TheCallbackIsHeldUntilTheCodecDies) {
    auto* codec = new TestCodec;
    auto callback = Host::instance().createCallback();
    int delivered = 0;
    callback->setSink([&](iohost::HostBuffer&) { return ++delivered, errNone; });

    IOPlugin::HostBufferRef frame;
    EXPECT_EQ(codec->DoProcess(frame), errNoObject);  // no callback yet

    EXPECT_EQ(Send(codec, codecSetCallback, callback.handle()), errNone);
    EXPECT_EQ(callback->refCount(), 2u);

    auto buffer = Host::instance().createBuffer();
    EXPECT_EQ(Send(codec, codecProcess, buffer.handle()), errNone);  // passes frames through
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(buffer->refCount(), 1u);

    codec->Release();
    EXPECT_EQ(callback->refCount(), 1u);
}

TEST_F(ObjectBasesTest, ACallbackWithoutAHandleDeliversNothing) {
    auto* codec = new TestCodec;
    EXPECT_EQ(Send(codec, codecSetCallback, static_cast<void*>(nullptr)), errNone);
    IOPlugin::HostBufferRef frame;
    EXPECT_EQ(codec->DoProcess(frame), errNoObject);
    codec->Release();
}

TEST_F(ObjectBasesTest, ContainerSelectorsNeedACollection) {
    auto* container = new TestContainer;
    EXPECT_EQ(Send(container, contInit, static_cast<void*>(nullptr)), errInvalidParam);
    EXPECT_EQ(Send(container, contOpen, static_cast<void*>(nullptr)), errInvalidParam);
    EXPECT_EQ(container->initCalls + container->openCalls, 0);
    auto collection = Host::instance().createCollection();
    EXPECT_EQ(Send(container, contInit, collection.handle()), errNone);
    EXPECT_EQ(Send(container, contOpen, collection.handle()), errNone);
    EXPECT_EQ(container->initCalls, 1);
    EXPECT_EQ(container->openCalls, 1);
    EXPECT_EQ(Send(container, contClose), errNone);
    EXPECT_EQ(Send(container, trackWrite, static_cast<void*>(nullptr)), errUnsupported);
    container->Release();
}

TEST_F(ObjectBasesTest, AddTrackFillsTheSlotOnlyOnSuccess) {
    auto* container = new TestContainer;
    auto trackProps = Host::instance().createCollection();
    auto* sentinel = reinterpret_cast<IOPlugin::IPluginObjRef*>(0x10);

    IOPlugin::IPluginObjRef* track = sentinel;
    EXPECT_EQ(Send(container, contAddTrack, static_cast<void*>(nullptr),
                   static_cast<void*>(nullptr), &track),
              errInvalidParam);
    EXPECT_EQ(track, sentinel);

    container->addTrackAnswer = errUnsupported;
    EXPECT_EQ(
        Send(container, contAddTrack, trackProps.handle(), static_cast<void*>(nullptr), &track),
        errUnsupported);
    EXPECT_EQ(track, nullptr);

    container->addTrackAnswer = errNone;
    EXPECT_EQ(
        Send(container, contAddTrack, trackProps.handle(), static_cast<void*>(nullptr), &track),
        errNone);
    ASSERT_NE(track, nullptr);
    EXPECT_TRUE(container->codecWasEmpty);
    EXPECT_EQ(container->RefCount(), 2u);  // the track keeps its container alive
    EXPECT_EQ(trackProps->refCount(), 1u);

    container->Release();
    EXPECT_EQ(g_liveObjects, 2);
    track->Release();  // the last reference to the container goes with the track
}

TEST_F(ObjectBasesTest, TrackWriteReachesWritersOnly) {
    auto* container = new TestContainer;
    auto trackProps = Host::instance().createCollection();
    IOPlugin::IPluginObjRef* writer = nullptr;
    ASSERT_EQ(
        Send(container, contAddTrack, trackProps.handle(), static_cast<void*>(nullptr), &writer),
        errNone);
    container->writerTracks = false;
    IOPlugin::IPluginObjRef* silent = nullptr;
    ASSERT_EQ(
        Send(container, contAddTrack, trackProps.handle(), static_cast<void*>(nullptr), &silent),
        errNone);

    auto packet = Host::instance().createBuffer();
    EXPECT_EQ(Send(silent, trackWrite, packet.handle()), errUnsupported);
    EXPECT_EQ(Send(writer, trackWrite, packet.handle()), errNone);
    auto* typed = dynamic_cast<TestWriterTrack*>(writer);
    ASSERT_NE(typed, nullptr);
    EXPECT_FALSE(typed->lastPacketWasNull);
    EXPECT_EQ(Send(writer, trackWrite, static_cast<void*>(nullptr)), errNone);
    EXPECT_TRUE(typed->lastPacketWasNull);
    EXPECT_EQ(typed->packets, 2);
    EXPECT_EQ(Send(writer, contClose), errUnsupported);
    EXPECT_EQ(packet->refCount(), 1u);

    writer->Release();
    silent->Release();
    container->Release();
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST_F(ObjectBasesTest, BrokenHostContractsStopThePlugin) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto callback = Host::instance().createCallback();
    EXPECT_DEATH(
        {
            auto* codec = new TestCodec;
            (void)Send(codec, codecSetCallback, callback.handle());
            (void)Send(codec, codecSetCallback, callback.handle());
        },
        "m_pCallback == NULL.*plugin/encoder/wrapper/plugin_api");
    EXPECT_DEATH(
        {
            IOPlugin::s_HostAPI = HostAPI{};
            IOPlugin::HostLog(0, "no host");
        },
        "s_HostAPI.version != 0.*plugin/encoder/wrapper/host_api");
}
#endif

}  // namespace
