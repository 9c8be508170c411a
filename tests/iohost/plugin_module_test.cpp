#include <filesystem>
#include <fstream>

#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using iohost::ModuleError;
using iohost::PluginModule;

using PluginModuleTest = HostTest;

TEST_F(PluginModuleTest, InitialisesAndForwardsSelectors) {
    PluginModule module(FakeModulePath());
    EXPECT_EQ(module.dispatch(plugNop1), errVersion) << "no dispatch before pluginInit";
    ASSERT_EQ(module.initialize(), errNone);
    EXPECT_EQ(module.pluginVersion(), 1u);
    ASSERT_TRUE(module.ready());
    EXPECT_EQ(module.dispatch(plugNop1), errNone);
    EXPECT_EQ(module.dispatch(plugNop2), errNone);
    EXPECT_EQ(module.dispatch(5u), errUnsupported);
    EXPECT_EQ(
        module.dispatch(plugAddRef, static_cast<void*>(nullptr), static_cast<uint32_t*>(nullptr)),
        errInvalidParam);
}

TEST_F(PluginModuleTest, VersionZeroLeavesThePluginInert) {
    PluginModule module(FakeModulePath());
    EXPECT_EQ(module.initialize(host().api(0)), errVersion);
    EXPECT_EQ(module.pluginVersion(), 1u) << "the plug-in writes its version regardless";
    EXPECT_EQ(module.pluginDispatch(), nullptr) << "and leaves its dispatch untouched";
    EXPECT_FALSE(module.ready());
    EXPECT_EQ(module.dispatch(plugNop1), errVersion);
}

TEST_F(PluginModuleTest, LoadFailuresNameThePathAndTheReason) {
    const std::string dir = iohost::ExecutableDirectory();
    const std::string missing = iohost::PathNextToExecutable("no_such_module.so");
    const std::string noInit =
        iohost::PathNextToExecutable(std::string("iohost_no_init_module") + iohost::ModuleSuffix());
    const std::string notAModule =
        (std::filesystem::temp_directory_path() / "iohost_not_a_module.so").string();
    std::ofstream(notAModule) << "plain text, not a module";

    struct Case {
        std::string path;
        std::string fragment;
    } cases[] = {
        {missing, "cannot load module " + missing},
        {notAModule, "cannot load module"},
        {noInit, "has no pluginInit export"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            PluginModule module(c.path);
            ADD_FAILURE() << "loaded";
        } catch (const ModuleError& e) {
            EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
        }
    }
    std::filesystem::remove(notAModule);
}

TEST_F(PluginModuleTest, LoadThrowsWhenPluginInitRefuses) {
    EXPECT_NO_THROW({ auto module = PluginModule::load(FakeModulePath()); });
    EXPECT_THROW({ auto module = PluginModule::load(FakeModulePath() + ".missing"); }, ModuleError);
}

TEST_F(PluginModuleTest, UnloadRunsTheModuleTearDown) {
    {
        PluginModule module(FakeModulePath());
        ASSERT_EQ(module.initialize(), errNone);
        EXPECT_FALSE(host().log().contains(fake::kUnloadMessage));
        PluginModule moved(std::move(module));  // the move must not unload
        EXPECT_EQ(moved.dispatch(plugNop1), errNone);
        EXPECT_FALSE(host().log().contains(fake::kUnloadMessage));
    }
    EXPECT_TRUE(host().log().contains(fake::kUnloadMessage));
    EXPECT_EQ(host().log().size(), 1u) << "once, for the one module that was loaded";
}

TEST_F(PluginModuleTest, ReloadStartsFresh) {
    for (int i = 0; i < 3; ++i) {
        PluginModule module(FakeModulePath());
        EXPECT_EQ(module.dispatch(plugNop1), errVersion);
        ASSERT_EQ(module.initialize(), errNone);
        ASSERT_EQ(module.dispatch(fake::fakeLog, "hello"), errNone);
    }
    EXPECT_EQ(host().log().size(), 6u) << "three greetings, three tear-downs";
}

TEST_F(PluginModuleTest, LocatesFilesNextToTheExecutable) {
    const std::string dir = iohost::ExecutableDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(dir))) << dir;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(FakeModulePath())));
    EXPECT_EQ(FakeModulePath().rfind(dir, 0), 0u);
}

}  // namespace
}  // namespace iohost_test
