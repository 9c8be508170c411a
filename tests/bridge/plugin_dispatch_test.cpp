// pluginInit and PluginDispatch as the host meets them: the real module, loaded by the reference
// host.
#include "tests/support/module_fixture.h"

namespace {

using iohost::Host;
using iohost::PluginModule;

void* const kNone = nullptr;

TEST(PluginInitTest, OnlyVersionZeroIsRefusedAndThenNoDispatchIsHandedBack) {
    for (uint32_t version : {0u, 1u, 7u, 0xFFFFFFFFu}) {
        PluginModule module(iohost::PathNextToExecutable(iohost::DefaultModuleFileName()));
        EXPECT_EQ(module.initialize(Host::instance().api(version)),
                  version == 0 ? errVersion : errNone)
            << version;
        EXPECT_EQ(module.pluginVersion(), 1u) << version;
        EXPECT_EQ(module.pluginDispatch() != nullptr, version != 0) << version;
    }
}

using PluginDispatchTest = module_test::ModuleTest;

TEST_F(PluginDispatchTest, NoOperationSelectorsSucceedAndUnknownOnesAreUnsupported) {
    EXPECT_EQ(module().dispatch(plugNop1), errNone);
    EXPECT_EQ(module().dispatch(plugNop2), errNone);
    for (uint32_t selector : {0u, 5u, 0x10000000u, 0x10000006u, 0x10010000u, 0x10010008u,
                              0x10020003u, 0x10021002u, 0xFFFFFFFFu}) {
        EXPECT_EQ(module().dispatch(selector, kNone), errUnsupported) << std::hex << selector;
    }
}

TEST_F(PluginDispatchTest, NullObjectsAndCountPointersAreInvalid) {
    uint32_t count = 12345;
    EXPECT_EQ(module().dispatch(plugAddRef, kNone, &count), errInvalidParam);
    EXPECT_EQ(module().dispatch(plugRelease, kNone, &count), errInvalidParam);
    EXPECT_EQ(count, 12345u);
    for (uint32_t selector :
         {codecConfigure, codecOpen, codecFinish, codecSetCallback, codecProcess, codecQuery,
          codecQueryState, contInit, contOpen, contAddTrack, contClose, trackWrite}) {
        EXPECT_EQ(module().dispatch(selector, kNone, kNone, kNone, kNone), errInvalidParam)
            << std::hex << selector;
    }
}

TEST_F(PluginDispatchTest, AddTrackFillsTheHostsSlotOnlyOnSuccess) {
    std::vector<iohost::ContainerInfo> containers;
    iohost::Container container;
    ASSERT_EQ(driver().listContainers(containers), errNone);
    ASSERT_EQ(driver().createContainer(containers.at(0).uuid, container), errNone);
    auto audio = Host::instance().createCollection();
    iohost::AudioTrackSettings{}.applyTo(*audio);
    auto unusable = Host::instance().createCollection();
    void* slot = &containers;
    EXPECT_EQ(module().dispatch(contAddTrack, container.get(), kNone, kNone, &slot),
              errInvalidParam);
    EXPECT_EQ(slot, &containers) << "written without a track collection";
    EXPECT_EQ(module().dispatch(contAddTrack, container.get(), unusable.handle(), kNone, &slot),
              errInvalidParam);
    EXPECT_EQ(slot, nullptr);
    ASSERT_EQ(module().dispatch(contAddTrack, container.get(), audio.handle(), kNone, &slot),
              errNone);
    ASSERT_NE(slot, nullptr);
    iohost::Track track(module(), slot);  // owns the host's reference from here on
    EXPECT_EQ(container.close(), errNone);
}

}  // namespace
