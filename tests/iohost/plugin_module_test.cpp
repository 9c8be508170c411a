// The loader against a minimal module built here; the CLI tests load files that are no plug-in.
#include <optional>

#include "platform/iohost/module/plugin_module.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using iohost::PluginModule;

using PluginModuleTest = HostTest;

TEST_F(PluginModuleTest, InitialisesForwardsAndUnloads) {
    const std::string path = iohost::PathNextToExecutable(FAKE_MODULE_FILE);
    for (int load = 0; load < 2; ++load) {
        std::optional<PluginModule> first(std::in_place, path);
        EXPECT_EQ(first->dispatch(plugNop1), errVersion) << "no dispatch before pluginInit";
        EXPECT_EQ(first->initialize(host().api(0)), errVersion);
        EXPECT_FALSE(first->ready());
        ASSERT_EQ(first->initialize(), errNone);
        EXPECT_EQ(first->pluginVersion(), 1u);
        PluginModule moved(std::move(*first));
        first.reset();
        EXPECT_EQ(host().log().size(), 2u * load + 1) << "a moved-from module must not unload";
        EXPECT_EQ(moved.dispatch(plugNop1), errNone);
    }
    // Each load starts afresh and each unload runs the module's tear-down once.
    const std::vector<iohost::LogEntry> expected = {
        {0, "first init"}, {0, "unloaded"}, {0, "first init"}, {0, "unloaded"}};
    EXPECT_EQ(host().log().entries(), expected);
}

}  // namespace
}  // namespace iohost_test
