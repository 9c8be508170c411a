// PluginDispatch as the host meets it: the real module, loaded by the reference host.
#include <gtest/gtest.h>

#include "platform/iohost/host.h"
#include "platform/iohost/plugin_module.h"

namespace {

using iohost::Host;
using iohost::PluginModule;

std::string ModulePath() {
    return iohost::PathNextToExecutable(iohost::DefaultModuleFileName());
}

class PluginDispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        Host::instance().reset();
        ASSERT_EQ(module.initialize(), errNone);
    }
    void TearDown() override {
        EXPECT_EQ(Host::instance().liveObjects(), 0u);
        EXPECT_EQ(Host::instance().badHandles(), 0u);
    }

    PluginModule module{ModulePath()};
};

TEST(PluginInitTest, VersionZeroIsRefusedAndLeavesDispatchUntouched) {
    PluginModule module(ModulePath());
    HostAPI host = Host::instance().api(0);
    EXPECT_EQ(module.initialize(host), errVersion);
    EXPECT_EQ(module.pluginVersion(), 1u);
    EXPECT_EQ(module.pluginDispatch(), nullptr);
    EXPECT_FALSE(module.ready());
}

TEST(PluginInitTest, AnyNonZeroVersionConnects) {
    for (uint32_t version : {1u, 7u, 0xFFFFFFFFu}) {
        PluginModule module(ModulePath());
        EXPECT_EQ(module.initialize(Host::instance().api(version)), errNone) << version;
        EXPECT_EQ(module.pluginVersion(), 1u);
        EXPECT_NE(module.pluginDispatch(), nullptr);
        EXPECT_EQ(module.dispatch(plugNop1), errNone);
    }
}

TEST_F(PluginDispatchTest, NoOperationSelectorsSucceedAndUnknownOnesAreUnsupported) {
    EXPECT_EQ(module.dispatch(plugNop1), errNone);
    EXPECT_EQ(module.dispatch(plugNop2), errNone);
    for (uint32_t selector : {0u, 5u, 0x10000000u, 0x10000006u, 0x10010000u, 0x10010008u,
                              0x10020003u, 0x10021002u, 0xFFFFFFFFu}) {
        EXPECT_EQ(module.dispatch(selector, static_cast<void*>(nullptr)), errUnsupported)
            << std::hex << selector;
    }
}

TEST_F(PluginDispatchTest, NullObjectsAndCountPointersAreInvalid) {
    uint32_t count = 12345;
    EXPECT_EQ(module.dispatch(plugAddRef, static_cast<void*>(nullptr), &count), errInvalidParam);
    EXPECT_EQ(module.dispatch(plugRelease, static_cast<void*>(nullptr), &count), errInvalidParam);
    EXPECT_EQ(count, 12345u);

    for (uint32_t selector :
         {codecConfigure, codecOpen, codecFinish, codecSetCallback, codecProcess, codecQuery,
          codecQueryState, contInit, contOpen, contAddTrack, contClose, trackWrite}) {
        EXPECT_EQ(
            module.dispatch(selector, static_cast<void*>(nullptr), static_cast<void*>(nullptr),
                            static_cast<void*>(nullptr), static_cast<void*>(nullptr)),
            errInvalidParam)
            << std::hex << selector;
    }
    EXPECT_EQ(module.dispatch(plugGetInfo, static_cast<void*>(nullptr)), errInvalidParam);
    const uint8_t id[16] = {};
    EXPECT_EQ(module.dispatch(plugQueryCodec, id, static_cast<void*>(nullptr),
                              static_cast<void*>(nullptr)),
              errInvalidParam);
}

TEST_F(PluginDispatchTest, AnUnknownClassIdCreatesNothing) {
    const uint8_t id[16] = {1, 2, 3};
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(module.dispatch(plugCreateObject, id, &object), errUnsupported);
    EXPECT_EQ(object, reinterpret_cast<void*>(0x1234));
}

TEST_F(PluginDispatchTest, HandlesLentForACallAreReturnedAfterIt) {
    auto collection = Host::instance().createCollection();
    auto list = Host::instance().createList();
    const uint8_t id[16] = {9};
    (void)module.dispatch(plugQueryCodec, id, collection.handle(), list.handle());
    (void)module.dispatch(plugGetInfo, collection.handle());
    (void)module.dispatch(plugListContainers, list.handle());
    EXPECT_EQ(collection->refCount(), 1u);
    EXPECT_EQ(list->refCount(), 1u);
}

}  // namespace
