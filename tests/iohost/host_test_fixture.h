// Every host test starts from a clean host and must end with no live host object and no bad
// handle: a leak or a stale handle anywhere in the test fails it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/iohost/host.h"
#include "platform/iohost/plugin_module.h"
#include "tests/iohost/fake_plugin.h"

namespace iohost_test {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host().reset();
        ASSERT_EQ(host().liveObjects(), 0u) << "an earlier test leaked host objects";
    }
    void TearDown() override {
        EXPECT_EQ(host().liveObjects(), 0u) << "host objects leaked";
        EXPECT_EQ(host().badHandles(), 0u) << "a stale or foreign handle reached the host";
        host().reset();
    }

    static iohost::Host& host() { return iohost::Host::instance(); }

    template <class... Args>
    static int32_t call(uint32_t selector, Args... args) {
        return hostDispatch(selector, args...);
    }
};

inline std::string FakeModulePath() {
    return iohost::PathNextToExecutable(std::string("iohost_fake_plugin") + iohost::ModuleSuffix());
}

// A host test with the fake module loaded and initialised; the module is unloaded before the
// end-of-test checks, so objects it failed to release show up as leaks.
class FakeModuleTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        m_module.emplace(FakeModulePath());
        ASSERT_EQ(m_module->initialize(), errNone);
    }
    void TearDown() override {
        if (m_module) {
            uint32_t live = 0;
            EXPECT_EQ(m_module->dispatch(fake::fakeLiveObjects, &live), errNone);
            EXPECT_EQ(live, 0u) << "plug-in objects outlived the test";
        }
        m_module.reset();
        HostTest::TearDown();
    }

    const iohost::PluginModule& module() const { return *m_module; }

    std::optional<iohost::PluginModule> m_module;
};

}  // namespace iohost_test
